// The welcome window: the terms gate, the sign-up and log-in forms against
// the sandbox's accounts, and the first analysis with its thresholds and
// its ways out of a failure.
#include <gtest/gtest.h>

#include "base/MRUserDefaults.h"
#include "library/MRUserSongCheckOperation.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "store/CDRecommendTrack.h"
#include "support/LibraryFile.h"
#include "ui/MRInputUserPreferencesWindowController.h"
#include "ui/MRUiStrings.h"
#include "ui/MRWelcomeWindowController.h"
#include "ui/UiServer.h"
#include "ui/UiWorld.h"

namespace mr {
namespace {

using Screen = MRWelcomeWindowController::Screen;

struct WelcomeFlowTest : test::UiWorld {
  std::unique_ptr<MRWelcomeWindowController> welcome;
  int startedCount = 0;
  int servedCount = 0;
  int buildsMade = 0;
  int checksMade = 0;

  WelcomeFlowTest() {
    MRUiStrings::load(UiServer::defaultWebDir() + "/strings", "en").registerTexts();
    context.auth = std::make_shared<ovloAuth>(testEnv.env(), sandbox.engine(),
                                              sandbox.server().baseUrl());
    context.readyToServe = [this] { ++servedCount; };
  }
  ~WelcomeFlowTest() override {
    welcome.reset();
    pump();
  }

  void registerJobs() {
    auto recommend = context.mix.recommend;
    serviceQueue->registerKind<MRRecommendMixBuildOperation>(
        kMRRecommendMixBuildOperationKind, [this, recommend] {
          ++buildsMade;
          return std::make_shared<MRRecommendMixBuildOperation>(recommend);
        });
    auto mirelune = sandbox.mirelune();
    serviceQueue->registerKind<MRUserSongCheckOperation>(
        kMRUserSongCheckOperationKind, [this, mirelune] {
          ++checksMade;
          return std::make_shared<MRUserSongCheckOperation>(testEnv.env(), store, network, mirelune,
                                                            kMRRecommendMixBuildOperationKind);
        });
  }

  MRWelcomeWindowController& open() {
    welcome = std::make_unique<MRWelcomeWindowController>(context, [this] { ++startedCount; });
    welcome->showWindow();
    return *welcome;
  }
  void send(const std::string& url) { page.navigate("welcome", url); }
  std::string lastAlert() { return page.last("welcome", "app.showAlert"); }
  bool alertShown(const std::string& title, const std::string& message) {
    const std::string call = lastAlert();
    return call.find("\"title\":\"" + title + "\"") != std::string::npos &&
           call.find("\"message\":\"" + message) != std::string::npos;
  }
  void agreeToTerms() {
    ASSERT_TRUE(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home).setUserAgreedTOU(true).ok());
  }
  void addRecommendTracks(int count) {
    CDRecommendTrackEntityController tracks(store.get());
    for (int i = 0; i < count; ++i) {
      auto track = tracks.insertNewObject();
      track->setTitle("Song " + std::to_string(i));
      track->setItemHash("hash-" + std::to_string(i));
    }
    ASSERT_TRUE(tracks.save().ok());
  }
  void writeLibrary(int tracks) {
    const std::string path = testEnv.dir().file("Library.xml");
    test::writeLibrary(path, test::generatedTracks(tracks));
    ASSERT_TRUE(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home)
                    .setITunesMusicLibraryFilePath(path)
                    .ok());
  }
  // Logs in as the sandbox's listener, which starts the first analysis.
  void logIn() {
    agreeToTerms();
    send("app://showLogIn");
    send("app://logIn?user=listener&pass=password");
    ASSERT_TRUE(testEnv.pumpUntil([&] { return welcome->screens().back() == Screen::Analysis; }));
  }
};

TEST_F(WelcomeFlowTest, TheTermsComeBeforeTheFormsUntilAgreedOnce) {
  auto& window = open();
  EXPECT_NE(page.last("welcome", "app.setWelcome").find(R"("screen":"welcome")"), std::string::npos);
  send("app://showSignUp");
  ASSERT_EQ(window.screens().back(), Screen::TermsOfUse);
  const std::string terms = page.last("welcome", "app.setWelcome");
  EXPECT_NE(terms.find("\"url\":\"" + testEnv.env().config().mireluneWebBaseUrl + "/app/mirelune-tou\""),
            std::string::npos)
      << terms;
  send("app://navigateBack");
  EXPECT_EQ(window.screens().size(), 1u);
  EXPECT_FALSE(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home).isUserAgreedTOU());

  send("app://showLogIn");
  send("app://agree");
  EXPECT_TRUE(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home).isUserAgreedTOU());
  EXPECT_EQ(window.screens(), (std::vector<Screen>{Screen::Welcome, Screen::TermsOfUse, Screen::LogIn}));
  send("app://navigateBack");
  send("app://navigateBack");
  // Agreed once: the forms come at once from now on.
  send("app://showSignUp");
  EXPECT_EQ(window.screens(), (std::vector<Screen>{Screen::Welcome, Screen::SignUp}));
  const std::string form = page.last("welcome", "app.setWelcome");
  EXPECT_NE(form.find(R"("birthYears":[{"tag":-1,"title":"Select"},{"tag":1920,"title":"1920"})"),
            std::string::npos);
  EXPECT_NE(form.find(R"({"tag":2009,"title":"2009"}])"), std::string::npos);
  EXPECT_NE(form.find(R"("sexes":[{"tag":-1,"title":"Select"},{"tag":0,"title":"Male"},{"tag":1,"title":"Female"}])"),
            std::string::npos);
  EXPECT_NE(form.find(R"({"code":"","title":"Other country"}])"), std::string::npos);

  // The page asks again on reconnect ("load"): the same screen comes.
  page.clear();
  page.load("welcome");
  EXPECT_EQ(page.last("welcome", "app.setWelcome"), form);
}

TEST_F(WelcomeFlowTest, TheStoreCountries) {
  auto& window = open();
  const auto& countries = window.countries();
  ASSERT_GT(countries.size(), 30u);
  EXPECT_EQ(countries.back().code, "");
  auto japan = MRWelcomeWindowController::indexOfCountryWithCode(countries, "JP");
  ASSERT_TRUE(japan);
  EXPECT_EQ(countries[*japan].country, "Japan");
  EXPECT_EQ(MRWelcomeWindowController::indexOfCountryWithCode(countries, "jp"), japan);
  EXPECT_FALSE(MRWelcomeWindowController::indexOfCountryWithCode(countries, "xx"));
  EXPECT_FALSE(MRWelcomeWindowController::indexOfCountryWithCode(countries, ""));
  EXPECT_FALSE(MRWelcomeWindowController::loadStoreCountries(testEnv.dir().file("none.json")).ok());
}

TEST_F(WelcomeFlowTest, TheSignUpCheckRefusesInOrderAndSendsNothing) {
  agreeToTerms();
  auto& window = open();
  send("app://showSignUp");
  const size_t requestsBefore = sandbox.server().recordedRequests().size();
  struct Case {
    const char* query;
    const char* title;
    const char* message;
  };
  const Case refusals[] = {
      {"user=&pass=&passConfirm=x", "Error", "Please enter an account name."},
      {"user=newbie&pass=&passConfirm=", "Error", "Please enter a password."},
      {"user=newbie&pass=secret1&passConfirm=secret2", "Warning",
       "The password and its confirmation do not match."},
      {"user=newbie&pass=secret1&passConfirm=secret1&birthYear=1919", "Error",
       "Please choose a birth year"},
      {"user=newbie&pass=secret1&passConfirm=secret1&birthYear=2011", "Error",
       "Please choose a birth year"},
  };
  for (const auto& refusal : refusals) {
    page.clear();
    send(std::string("app://register?") + refusal.query);
    EXPECT_TRUE(alertShown(refusal.title, refusal.message)) << refusal.query << ": " << lastAlert();
    EXPECT_FALSE(window.isSending());
  }
  pump();
  EXPECT_EQ(sandbox.server().recordedRequests().size(), requestsBefore);

  MRSignUpInput input;
  input.user = "newbie";
  input.pass = input.passConfirm = "secret1";
  input.birthYear = 2009;
  EXPECT_TRUE(window.validateInputData(input));
  input.birthYear = -1;
  input.sex = -1;
  EXPECT_TRUE(window.validateInputData(input));
}

TEST_F(WelcomeFlowTest, ATakenNameGetsThePlatformsTextAndAWrongPasswordToo) {
  agreeToTerms();
  auto& window = open();
  send("app://showSignUp");
  page.clear();
  send("app://register?user=listener&pass=secret1&passConfirm=secret1&birthYear=1990&sex=1&country=jp");
  EXPECT_TRUE(window.isSending());
  EXPECT_NE(page.last("welcome", "app.setWelcome").find(R"("busy":true)"), std::string::npos);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !window.isSending(); }));
  EXPECT_TRUE(alertShown("Error", "This account name is already taken.")) << lastAlert();
  EXPECT_EQ(window.screens().back(), Screen::SignUp);
  // The form keeps what was entered, never the passwords.
  const std::string form = page.last("welcome", "app.setWelcome");
  EXPECT_NE(form.find(R"("values":{"user":"listener","birthYear":1990,"sex":1,"country":"jp"})"),
            std::string::npos)
      << form;
  EXPECT_EQ(form.find("secret1"), std::string::npos);

  send("app://navigateBack");
  send("app://showLogIn");
  send("app://logIn?user=listener&pass=wrong-password");
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !window.isSending(); }));
  EXPECT_TRUE(alertShown("Error", "The account name or the password is wrong.")) << lastAlert();
  EXPECT_EQ(window.screens().back(), Screen::LogIn);
}

TEST_F(WelcomeFlowTest, ANewAccountGoesOnToTheAnalysis) {
  agreeToTerms();
  auto& window = open();
  send("app://showSignUp");
  send("app://register?user=newbie&pass=secret1&passConfirm=secret1&birthYear=2009&sex=0");
  ASSERT_TRUE(testEnv.pumpUntil([&] { return window.screens().back() == Screen::Analysis; }));
  const std::string analysis = page.last("welcome", "app.setWelcome");
  EXPECT_NE(analysis.find(R"("title":"Analyzing your preferences…")"), std::string::npos) << analysis;
  EXPECT_NE(analysis.find(R"("progressText":"Preparing…")"), std::string::npos) << analysis;
  EXPECT_NE(analysis.find(R"("fraction":null)"), std::string::npos) << analysis;
}

TEST_F(WelcomeFlowTest, TheAnalysisThresholds) {
  auto& window = open();
  logIn();
  auto* analysis = window.analyzingProgress();
  ASSERT_TRUE(analysis);
  registerJobs();

  // 99 checked songs never start recommending; 100 does, once.
  analysis->userSongCheckDidProgress(kMRServiceOperationStatusProcessing, 0.5f, 99, 198);
  EXPECT_EQ(buildsMade, 0);
  EXPECT_NE(page.last("welcome", "app.setWelcome").find("Checked 99 of 198 songs"), std::string::npos);
  analysis->userSongCheckDidProgress(kMRServiceOperationStatusProcessing, 0.5f, 100, 198);
  analysis->userSongCheckDidProgress(kMRServiceOperationStatusProcessing, 0.5f, 100, 198);
  EXPECT_EQ(buildsMade, 1);
  auto build = serviceQueue->operationRunningForClass<MRRecommendMixBuildOperation>();
  if (build) {
    EXPECT_TRUE(build->boostMode());
  }
  analysis->userSongCheckDidProgress(kMRServiceOperationStatusProcessing, 0.6f, 101, 198);
  EXPECT_EQ(buildsMade, 1);

  // 29 after the build: the favorite artists are asked for.
  addRecommendTracks(29);
  analysis->recommendMixBuildDidComplete();
  ASSERT_TRUE(window.sheet());
  EXPECT_EQ(window.sheet()->kind(), "inputPreferences");
  advance(0.2);
  EXPECT_FALSE(analysis->isReady());
  EXPECT_NE(page.last("welcome", "app.setWelcome").find("29 recommended songs found"), std::string::npos);

  // 30: ready, and the session told once.
  addRecommendTracks(0);
  {
    CDRecommendTrackEntityController tracks(store.get());
    auto track = tracks.insertNewObject();
    track->setTitle(std::string("One more"));
    track->setItemHash(std::string("hash-more"));
    ASSERT_TRUE(tracks.save().ok());
  }
  advance(0.2);
  advance(0.2);
  advance(0.2);
  EXPECT_TRUE(analysis->isReady());
  EXPECT_EQ(servedCount, 1);
  const std::string ready = page.last("welcome", "app.setWelcome");
  EXPECT_NE(ready.find(R"("title":"Mirelune is ready!")"), std::string::npos) << ready;
  EXPECT_NE(ready.find(R"("ready":true)"), std::string::npos);
  EXPECT_NE(ready.find(R"("fraction":1)"), std::string::npos);

  send("app://getStarted");
  pump();
  EXPECT_EQ(startedCount, 1);
  window.closeWindow();
  EXPECT_EQ(page.last("welcome", "app.closeWelcome"), "app.closeWelcome()");
  page.clear();
  advance(1.0);
  EXPECT_TRUE(page.scripts("welcome").empty());  // the timer stopped
}

TEST_F(WelcomeFlowTest, TheFirstAnalysisWantsThreeArtists) {
  auto& window = open();
  logIn();
  window.analyzingProgress()->askForFavoriteArtists();
  ASSERT_TRUE(window.sheet());
  const std::string channel = window.sheet()->channel();
  EXPECT_EQ(page.last("welcome", "app.showSheet"),
            R"(app.showSheet({"channel":")" + channel +
                R"(","kind":"inputPreferences","title":"Your favorite artists"}))");
  page.load(channel);
  EXPECT_NE(page.last(channel, "app.setPreferences").find(R"("canCancel":false)"), std::string::npos);

  page.navigate(channel, "app://preferencesDidSubmit?artists=" +
                             std::string("%5B%22Ann%22%2C%22Bob%22%5D"));  // ["Ann","Bob"]
  EXPECT_TRUE(alertShown("Error", "Please enter at least three of your favorite artists."));
  auto* sheet = dynamic_cast<MRInputUserPreferencesWindowController*>(window.sheet().get());
  ASSERT_TRUE(sheet);
  EXPECT_FALSE(sheet->opQueueing());
  page.navigate(channel, "app://preferencesDidCancel");  // not offered: nothing
  EXPECT_TRUE(window.sheet());

  page.clear();
  page.navigate(channel, "app://preferencesDidSubmit?artists=%5B%22%22%2C%22%22%2C%22%22%5D");
  EXPECT_EQ(lastAlert(), "");
  EXPECT_TRUE(sheet->opQueueing());
  EXPECT_NE(page.last(channel, "app.setPreferences").find(R"("busy":true)"), std::string::npos);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !window.sheet() || lastAlert() != ""; }));
}

TEST_F(WelcomeFlowTest, AnUnreadableLibraryOffersThreeWaysOut) {
  registerJobs();
  ASSERT_TRUE(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home)
                  .setITunesMusicLibraryFilePath(testEnv.dir().file("missing.xml"))
                  .ok());
  auto& window = open();
  logIn();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return lastAlert().find("Failed to load your music library") != std::string::npos; }));
  EXPECT_NE(lastAlert().find(R"("buttons":["Enter your music preferences manually","Use other music library","Retry"])"),
            std::string::npos)
      << lastAlert();
  // Retry: the check runs again after the pause, and fails again. The failed
  // one must have left the queue first (one check at a time): the listener's
  // click always comes after that, the test's may not.
  const auto checkGone = [&] {
    return !serviceQueue->checkOperationRunningForClass<MRUserSongCheckOperation>();
  };
  ASSERT_TRUE(testEnv.pumpUntil(checkGone));
  const int checks = checksMade;
  send("app://alertDidEnd?id=1&button=2");
  EXPECT_EQ(checksMade, checks);
  page.clear();
  advance(0.4);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return lastAlert() != ""; }));
  EXPECT_EQ(checksMade, checks + 1);

  // Another library: the sheet; a path where no file is is refused.
  ASSERT_TRUE(testEnv.pumpUntil(checkGone));
  send("app://alertDidEnd?id=2&button=1");
  advance(0.4);
  ASSERT_TRUE(window.sheet());
  ASSERT_EQ(window.sheet()->kind(), "musicLibrary");
  const std::string channel = window.sheet()->channel();
  page.load(channel);
  EXPECT_NE(page.last(channel, "app.setMusicLibrary").find("missing.xml"), std::string::npos);
  page.clear();
  page.navigate(channel, "app://musicLibraryChange?path=%2Fno%2Fsuch%2Ffile.xml");
  EXPECT_NE(lastAlert().find("No file was found"), std::string::npos);
  writeLibrary(5);
  const std::string good = testEnv.dir().file("Library.xml");
  page.navigate(channel, "app://musicLibraryReset");
  EXPECT_NE(page.last(channel, "app.setMusicLibrary").find(R"("isDefault":true)"), std::string::npos);
  page.navigate(channel, "app://musicLibraryChange?path=" + good);
  EXPECT_EQ(MRUserDefaults(testEnv.settings(), testEnv.env().paths().home).iTunesMusicLibraryFilePath(), good);
  page.navigate(channel, "app://musicLibraryDidEnd");
  EXPECT_FALSE(window.sheet());
  EXPECT_EQ(page.last("welcome", "app.closeSheet"), "app.closeSheet()");
  EXPECT_EQ(checksMade, checks + 2);  // the check again, on the new library
}

TEST_F(WelcomeFlowTest, ANetworkThatDropsLeavesAWayForward) {
  registerJobs();
  writeLibrary(150);
  auto& window = open();
  logIn();
  sandbox.server().stop();
  // The check reads the library; the recommendations cannot come.
  ASSERT_TRUE(testEnv.pumpUntil([&] { return window.sheet() != nullptr; }));
  EXPECT_EQ(window.sheet()->kind(), "inputPreferences");
  EXPECT_FALSE(window.analyzingProgress()->isReady());
  const std::string channel = window.sheet()->channel();
  page.clear();
  page.navigate(channel, "app://preferencesDidSubmit?artists=%5B%22Ann%22%2C%22Bob%22%2C%22Cy%22%5D");
  ASSERT_TRUE(testEnv.pumpUntil([&] { return lastAlert() != ""; }));
  EXPECT_TRUE(alertShown("Error", "")) << lastAlert();
  // The sheet stays, ready for another try.
  ASSERT_TRUE(window.sheet());
  auto* sheet = dynamic_cast<MRInputUserPreferencesWindowController*>(window.sheet().get());
  ASSERT_TRUE(sheet);
  EXPECT_FALSE(sheet->opQueueing());
  EXPECT_NE(page.last(channel, "app.setPreferences").find(R"("busy":false)"), std::string::npos);
}

}  // namespace
}  // namespace mr
