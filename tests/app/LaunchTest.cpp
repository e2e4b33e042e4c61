#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "app/MRAppDelegate.h"
#include "app/MRAppSession.h"
#include "app/MRSQLiteStore.h"
#include "app/MRURLHandler.h"
#include "base/StringAdditions.h"
#include "store/Schema.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

struct FakeStore final : MRStoreStack {
  bool openFails = false;
  bool migrateFails = false;
  bool open_ = false;
  bool context = true;
  bool changes = false;
  bool saveFails = false;
  int saves = 0;
  std::vector<std::string> calls;

  Status open(const std::string&) override {
    calls.push_back("open");
    if (openFails) return Error("store", 134100, "The model does not match the store");
    open_ = true;
    return {};
  }
  Status openMigrating(const std::string&) override {
    calls.push_back("migrate");
    if (migrateFails) return Error("store", 134110, "cannot migrate");
    open_ = true;
    return {};
  }
  bool isOpen() const override { return open_; }
  bool hasMainContext() const override { return context; }
  bool commitEditing() override { return true; }
  bool hasChanges() const override { return changes; }
  Status save() override {
    ++saves;
    if (saveFails) return Error("store", 1, "disk full");
    changes = false;
    return {};
  }
};

struct FakePresenter final : MRWindowPresenter {
  std::vector<std::string> events;
  std::vector<Error> errors;
  bool errorHandled = false;
  int alertChoice = 0;
  void showMainWindow() override { events.push_back("main"); }
  void closeMainWindow() override { events.push_back("close main"); }
  void showWelcomeWindow() override { events.push_back("welcome"); }
  void closeWelcomeWindow() override { events.push_back("close welcome"); }
  bool presentError(const Error& error) override {
    errors.push_back(error);
    return errorHandled;
  }
  int runAlert(const std::string& title, const std::string& message,
               const std::vector<std::string>& buttons) override {
    events.push_back("alert " + title + " | " + message + " | " + buttons.front());
    return alertChoice;
  }
  void refreshMenu() override { events.push_back("menu"); }
  void refreshConnectionsMenu() override { events.push_back("connections menu"); }
};

inline constexpr MRServiceOperationKind kSongCheckKind{"SongCheck"};
inline constexpr MRServiceOperationKind kMixBuildKind{"MixBuild"};
inline constexpr MRServiceOperationKind kReleaseCheckKind{"ReleaseCheck"};
inline constexpr MRServiceOperationKind kFavoriteSyncKind{"FavoriteSync"};

struct FakeServices final : MRAppServices {
  bool authorized = false;
  std::vector<std::string> calls;
  std::vector<MRServiceOperationKind> launchKinds{kSongCheckKind, kMixBuildKind, kFavoriteSyncKind,
                                                  kReleaseCheckKind};
  std::vector<MRServiceOperationKind> launchJobKinds() const override { return launchKinds; }
  bool isAuthorized() const override { return authorized; }
  void signOut() override { calls.push_back("signOut"); }
  void createPlaybackHistoryObserver() override { calls.push_back("historyObserver"); }
  void logLaunch() override { calls.push_back("logLaunch"); }
  void updateConnections(const std::function<void()>& done,
                         const std::function<void(const Error&)>&) override {
    calls.push_back("updateConnections");
    done();
  }
  void stopPlaylistPlayer() override { calls.push_back("stopPlayer"); }
  void addDeviceToken(const Bytes& token) override {
    calls.push_back("token " + hexStringFromData(token));
  }
};

// A launch job that waits until cancelled.
class LaunchJob : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {
    MRServiceOperation::main();
    waitFor(Clock::real(), kNoDeadline, [] { return false; });
  }
};
class SongCheck final : public LaunchJob {
  using LaunchJob::LaunchJob;
};
class MixBuild final : public LaunchJob {
  using LaunchJob::LaunchJob;
};
class ReleaseCheck final : public LaunchJob {
  using LaunchJob::LaunchJob;
};
class FavoriteSync final : public LaunchJob {
  using LaunchJob::LaunchJob;
};
class OtherJob final : public LaunchJob {
  using LaunchJob::LaunchJob;
};

struct LaunchFixture : ::testing::Test {
  test::TestEnv testEnv;
  FakeStore store;
  FakePresenter presenter;
  FakeServices services;
  std::shared_ptr<MRServiceOperationQueue> queue = MRServiceOperationQueue::create(testEnv.env());
  MRAppSession session{testEnv.env(), services, *queue};
  MRAppDelegate delegate{testEnv.env(), store, presenter, services, session};

  LaunchFixture() {
    const Env& env = testEnv.env();
    queue->registerKind<SongCheck>(kSongCheckKind,
                                   [&env] { return std::make_shared<SongCheck>(env); });
    queue->registerKind<MixBuild>(kMixBuildKind,
                                  [&env] { return std::make_shared<MixBuild>(env); });
    queue->registerKind<ReleaseCheck>(kReleaseCheckKind,
                                      [&env] { return std::make_shared<ReleaseCheck>(env); });
    queue->registerKind<FavoriteSync>(kFavoriteSyncKind,
                                      [&env] { return std::make_shared<FavoriteSync>(env); });
  }
  ~LaunchFixture() override {
    queue->cancelAllOperations();
    queue->waitUntilAllOperationsAreFinished();
  }
};

TEST_F(LaunchFixture, AuthorisedLaunchOpensTheMainWindowAndServes) {
  services.authorized = true;
  delegate.applicationDidFinishLaunching();
  EXPECT_TRUE(presenter.events.empty());  // nothing before the loop turns
  testEnv.dispatcher().pump();
  EXPECT_EQ(store.calls, (std::vector<std::string>{"open"}));
  EXPECT_EQ(presenter.events, (std::vector<std::string>{"main", "connections menu", "menu"}));
  EXPECT_TRUE(std::filesystem::is_directory(testEnv.env().paths().dataDir));
  EXPECT_TRUE(session.hasServed());
  EXPECT_EQ(queue->operationCount(), 4u);
  EXPECT_EQ(services.calls,
            (std::vector<std::string>{"historyObserver", "logLaunch", "updateConnections"}));
}

TEST_F(LaunchFixture, ReadyToServeRunsOncePerProcess) {
  session.readyToServe();
  session.readyToServe();
  EXPECT_EQ(queue->operationCount(), 4u);
  EXPECT_EQ(std::count(services.calls.begin(), services.calls.end(), "logLaunch"), 1);
}

TEST_F(LaunchFixture, UnauthorisedLaunchShowsTheWelcomeFlow) {
  delegate.applicationDidFinishLaunching();
  testEnv.dispatcher().pump();
  EXPECT_EQ(presenter.events, (std::vector<std::string>{"welcome", "menu"}));
  EXPECT_FALSE(session.hasServed());
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(LaunchFixture, AStoreThatDoesNotOpenIsUpgradedBeforeLaunchGoesOn) {
  store.openFails = true;
  services.authorized = true;
  delegate.showMainApplicationWindow();
  EXPECT_EQ(presenter.events, (std::vector<std::string>{"menu"}));  // menu without waiting
  ASSERT_TRUE(testEnv.pumpUntil([&] { return session.hasServed(); }));
  EXPECT_EQ(store.calls, (std::vector<std::string>{"open", "migrate"}));
  ASSERT_EQ(presenter.errors.size(), 1u);
  EXPECT_EQ(presenter.errors[0].code(), 134100);
}

TEST_F(LaunchFixture, AFailedUpgradeIsShownAndLaunchStillProceeds) {
  store.openFails = true;
  store.migrateFails = true;
  delegate.showMainApplicationWindow();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return delegate.isWelcomeWindowShown(); }));
  EXPECT_EQ(presenter.events[1], "alert Error | cannot migrate | OK");
}

TEST_F(LaunchFixture, AFileWhereTheStoreFolderShouldBeIsError101) {
  std::filesystem::create_directories(
      std::filesystem::path(testEnv.env().paths().dataDir).parent_path());
  test::writeFile(testEnv.env().paths().dataDir, "not a folder");
  EXPECT_FALSE(delegate.persistentStoreCoordinator());
  ASSERT_EQ(presenter.errors.size(), 1u);
  EXPECT_EQ(presenter.errors[0].domain(), "YOUR_ERROR_DOMAIN");
  EXPECT_EQ(presenter.errors[0].code(), 101);
  EXPECT_EQ(presenter.errors[0].description(),
            "Expected a folder to store application data, found a file (" +
                testEnv.env().paths().dataDir + ").");
  EXPECT_TRUE(store.calls.empty());
}

TEST_F(LaunchFixture, NoMainContextIsError9999) {
  EXPECT_FALSE(delegate.managedObjectContext());
  ASSERT_EQ(presenter.errors.size(), 1u);
  EXPECT_EQ(presenter.errors[0].code(), 9999);
  EXPECT_EQ(presenter.errors[0].description(), "Failed to initialize the store");
  EXPECT_EQ(presenter.errors[0].failureReason(), "There was an error building up the data file.");
}

TEST_F(LaunchFixture, Quitting) {
  store.context = false;
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
  store.context = true;
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
  EXPECT_EQ(store.saves, 0);  // no changes, no save
  store.changes = true;
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
  EXPECT_EQ(store.saves, 1);

  store.changes = true;
  store.saveFails = true;
  presenter.alertChoice = 1;  // "Cancel"
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Cancel);
  EXPECT_EQ(presenter.events.back(),
            "alert Could not save changes while quitting. Quit anyway? | Quitting now will lose "
            "any changes you have made since the last successful save | Quit anyway");
  presenter.alertChoice = 0;  // "Quit anyway"
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
  presenter.errorHandled = true;
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Cancel);
}

TEST_F(LaunchFixture, ReopenShowsTheWindowOfTheCurrentState) {
  services.authorized = true;
  delegate.showWelcomeWindow();
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
  EXPECT_EQ(presenter.events.back(), "welcome");
  delegate.closeWelcomeWindow();
  testEnv.dispatcher().pump();
  delegate.applicationShouldHandleReopen(false);
  EXPECT_EQ(presenter.events.back(), "main");
}

TEST_F(LaunchFixture, LogoutCancelsTheLaunchJobsOnly) {
  delegate.showMainWindow();
  session.readyToServe();
  auto other = std::make_shared<OtherJob>(testEnv.env());
  queue->addOperation(other);
  session.logout();
  for (const auto& op : queue->operations()) {
    EXPECT_EQ(op->isCancelled(), op != other) << op->className();
  }
  EXPECT_EQ(services.calls[services.calls.size() - 2], "stopPlayer");
  EXPECT_EQ(services.calls.back(), "signOut");
  EXPECT_EQ(presenter.events.back(), "welcome");
  EXPECT_FALSE(delegate.isMainWindowShown());
  other->cancel();
}

TEST_F(LaunchFixture, TheSessionLaunchesAndCancelsTheKindsTheServicesList) {
  // One listed kind nobody registered, one registered kind not listed.
  constexpr MRServiceOperationKind unregistered{"Unregistered"};
  services.launchKinds = {kMixBuildKind, unregistered, kSongCheckKind};
  queue->setMaxConcurrentOperationCount(0);  // the list's order stays visible
  session.readyToServe();
  std::vector<std::string> queued;
  for (const auto& op : queue->operations())
    queued.push_back(op->className());
  EXPECT_EQ(queued, (std::vector<std::string>{"MixBuild", "SongCheck"}));

  auto release = queue->addOperationOfKind(kReleaseCheckKind);
  ASSERT_NE(release, nullptr);
  session.logout();
  for (const auto& op : queue->operations()) {
    EXPECT_EQ(op->isCancelled(), op != release) << op->className();
  }
}

TEST_F(LaunchFixture, UrlHandling) {
  MRURLHandler handler("mirelune://oauth-complete/some/path?a=1&b&c=2=3", session);
  EXPECT_TRUE(handler.handleURL());
  EXPECT_EQ(handler.subject(), "oauth-complete");
  EXPECT_EQ(handler.pathParts(), (std::vector<std::string>{"", "some", "path"}));
  EXPECT_EQ(handler.parameters(), (std::map<std::string, std::string>{{"a", "1"}, {"c", "2"}}));
  EXPECT_EQ(services.calls, (std::vector<std::string>{"updateConnections"}));
  EXPECT_EQ(presenter.events, (std::vector<std::string>{"connections menu"}));

  MRURLHandler other("mirelune://something-else?x=%41", session);
  EXPECT_FALSE(other.handleURL());
  EXPECT_EQ(other.parameters().at("x"), "%41");
  EXPECT_EQ(services.calls.size(), 1u);
  EXPECT_TRUE(delegate.handleGetURLEvent("mirelune://oauth-complete"));
}

TEST_F(LaunchFixture, DeviceTokenIsSentAsHex) {
  session.didRegisterForRemoteNotificationsWithDeviceToken(Bytes{0x0a, 0xff});
  EXPECT_EQ(services.calls.back(), "token 0aff");
}

}  // namespace
}  // namespace mr

namespace mr {
namespace {

// The launch sequence over the real store in a temporary folder.
struct RealStoreLaunch : ::testing::Test {
  test::TestEnv testEnv;
  MRSQLiteStore store;
  FakePresenter presenter;
  FakeServices services;
  std::shared_ptr<MRServiceOperationQueue> queue = MRServiceOperationQueue::create(testEnv.env());
  MRAppSession session{testEnv.env(), services, *queue};
  MRAppDelegate delegate{testEnv.env(), store, presenter, services, session};
  std::string file = testEnv.env().paths().dataDir + "/mirelune.sqlite";

  void launch() {
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(testEnv.pumpUntil([&] { return delegate.isWelcomeWindowShown(); }));
  }
};

TEST_F(RealStoreLaunch, ANewStoreIsMadeInTheDataFolder) {
  launch();
  EXPECT_TRUE(store.isOpen());
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_TRUE(presenter.errors.empty());
  EXPECT_TRUE(delegate.managedObjectContext());
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
}

TEST_F(RealStoreLaunch, AnOlderStoreIsUpgradedOnTheSecondAttempt) {
  std::filesystem::create_directories(testEnv.env().paths().dataDir);
  {
    auto connection = Connection::open(file);
    ASSERT_TRUE((*connection)->exec(migrationTo(1) + "PRAGMA user_version = 1;").ok());
  }
  launch();
  ASSERT_EQ(presenter.errors.size(), 1u);  // the plain open, as the platform would report it
  EXPECT_EQ(presenter.errors[0].code(), 1001);
  EXPECT_TRUE(store.isOpen());
  EXPECT_EQ(*Database::schemaVersionOf(file), kSchemaVersion);
}

TEST_F(RealStoreLaunch, AStoreThatCannotBeOpenedLeavesItClosedAndLaunchGoesOn) {
  std::filesystem::create_directories(testEnv.env().paths().dataDir);
  test::writeFile(file, std::string(8192, '\x7f'));
  launch();
  EXPECT_FALSE(store.isOpen());
  EXPECT_EQ(
      std::count_if(presenter.events.begin(), presenter.events.end(),
                    [](const std::string& event) { return event.rfind("alert Error | ", 0) == 0; }),
      1);
  EXPECT_FALSE(delegate.managedObjectContext());
  EXPECT_EQ(presenter.errors.back().code(), 9999);
  EXPECT_EQ(delegate.applicationShouldTerminate(), MRAppDelegate::TerminateReply::Now);
}

}  // namespace
}  // namespace mr
