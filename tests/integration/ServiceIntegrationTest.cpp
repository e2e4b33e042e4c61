// The client's service layer against the sandbox over loopback: accounts,
// signed calls, connections, uploads, images, TLS and broken answers.
#include <gtest/gtest.h>

#include <fstream>

#include "app/MRDefaultAppServices.h"
#include "base/NSHTTPQueryDictionary.h"
#include "service/MRAPIFan.h"
#include "service/MRAPIGenreTagCloud.h"
#include "service/MRAPITrack.h"
#include "service/MRAPIUsageLog.h"
#include "service/MRAPIUserTrack.h"
#include "service/ovloAuth.h"
#include "support/RawServer.h"
#include "support/SandboxSession.h"

namespace mr {
namespace {

// Waits for a callback that runs on another thread.
template <class T>
class Awaited {
 public:
  void set(T value) {
    std::lock_guard guard(mutex_);
    value_ = std::move(value);
    cv_.notify_all();
  }
  T get() {
    std::unique_lock lock(mutex_);
    EXPECT_TRUE(
        cv_.wait_for(lock, std::chrono::seconds(20), [this] { return value_.has_value(); }));
    return value_.value_or(T{});
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::optional<T> value_;
};

struct IntegrationFixture : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};

  std::shared_ptr<HttpEngine> engineTrusting(const std::string& caFile) {
    HttpEngine::Options options;
    options.caFile = caFile;
    options.cacheDir = testEnv.dir().file("cache");
    return std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), options);
  }
};

TEST_F(IntegrationFixture, SignUpLogInAndASignedCall) {
  ASSERT_TRUE(ovloAccount(testEnv.settings()).logout().ok());
  ovloAuth auth(testEnv.env(), sandbox.engine(), sandbox.server().baseUrl());
  Awaited<std::tuple<bool, int32_t, std::string>> signedUp;
  auth.signupWithUser(
      "newcomer", "pw", "net.mirelune.desktop", "jp", 1990, 2,
      [&](bool ok, int32_t code, std::string message) {
        signedUp.set({ok, code, message});
      },
      nullptr);
  EXPECT_TRUE(std::get<0>(signedUp.get()));
  ovloAccount account(testEnv.settings());
  ASSERT_TRUE(account.isAuthorized());
  EXPECT_EQ(account.accountName(), "newcomer");

  Awaited<std::tuple<bool, int32_t, std::string>> wrong;
  auth.loginWithUser(
      "newcomer", "not the password", "net.mirelune.desktop",
      [&](bool ok, int32_t code, std::string message) {
        wrong.set({ok, code, message});
      },
      nullptr);
  const auto [ok, code, message] = wrong.get();
  EXPECT_FALSE(ok);
  EXPECT_NE(code, 0);
  EXPECT_FALSE(message.empty());

  // A signed call the service takes, counted on its side.
  MRAPIUsageLog(sandbox.mirelune()).logLaunch();
  const int64_t aid = account.accountID();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sandbox.server().launchCount(aid) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(sandbox.server().launchCount(aid), 1);
}

TEST_F(IntegrationFixture, ATamperedSignatureIsRefused) {
  auto& api = *sandbox.mirelune();
  auto signedParameters = *api.buildHTTPParamWithSignature(Dictionary{{"waid", Value("wa1")}});
  signedParameters.set("waid", Value("wa2"));  // changed after signing
  Awaited<std::optional<ovloRequestAPIResult>> answer;
  ovloCallbacks callbacks;
  callbacks.completion = [&](const ovloRequestResponse& response) {
    answer.set(ovloRequestAPIResult::resultWithResponseData(response.data));
  };
  api.postWithPath("fan/add", signedParameters, callbacks);
  const auto envelope = answer.get();
  ASSERT_TRUE(envelope);
  EXPECT_FALSE(envelope->successful());
  EXPECT_EQ(envelope->errorCode, 2002);
}

TEST_F(IntegrationFixture, ConnectionsAreFetchedAddedAndInvalidatedThroughTheSession) {
  auto list = std::make_shared<ovloConnectionList>(testEnv.settings());
  auto connections = std::make_shared<ovloConnectionAPI>(testEnv.env(), sandbox.engine(),
                                                         sandbox.server().baseUrl(), list);
  Awaited<bool> added;
  connections->addConnectionWithAccessToken(
      Dictionary{{"access_token", Value("fb-token")}}, "facebook",
      [&](bool ok, std::optional<ovloConnectionItem>) { added.set(ok); }, nullptr);
  ASSERT_TRUE(added.get());
  MRDefaultAppServices services(testEnv.env(), {sandbox.mirelune(), connections,
                                                MRServiceOperationQueue::create(testEnv.env()),
                                                nullptr, nullptr, nullptr, nullptr});
  bool refreshed = false;
  services.updateConnections([&] { refreshed = true; }, nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return refreshed; }));
  EXPECT_EQ(list->itemsOfService("facebook").size(), 1u);
  EXPECT_EQ(ovloConnectionList(testEnv.settings()).items().size(), 1u);  // saved

  bool disconnected = false;
  services.disconnectService(
      "facebook", [&] { disconnected = true; }, nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return disconnected; }));
  EXPECT_TRUE(list->itemsOfService("facebook").empty());
}

TEST_F(IntegrationFixture, LibraryUploadsAndTagCloudImages) {
  const std::string file = testEnv.dir().file("temp.txt");
  {
    std::ofstream out(file);
    out << R"({"artistName":"A","trackTitle":"T","albumTitle":"L","playCount":3,"iTunes":{}})"
        << "\n";
  }
  Awaited<bool> uploaded;
  MRAPIUserTrack(sandbox.mirelune())
      .updateWithTextFile(
          file, [&](bool ok, const auto&, const auto&) { uploaded.set(ok); }, nullptr);
  EXPECT_TRUE(uploaded.get());
  ASSERT_EQ(sandbox.server().uploadedTracks(sandbox.accountId()).size(), 1u);
  EXPECT_EQ(sandbox.server().uploadedTracks(sandbox.accountId())[0].intForKey("playCount", 0), 3);

  Awaited<std::optional<MRImage>> cloud;
  MRAPIGenreTagCloud(sandbox.mirelune())
      .generateWithTags(
          {{"rock", 1.0f}, {"pop", 0.3f}}, "heart", nullptr,
          [&](bool, std::optional<MRImage> image) { cloud.set(image); }, nullptr);
  const auto image = cloud.get();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->format, "png");
  EXPECT_GT(image->width, 0);
}

TEST_F(IntegrationFixture, AnswersThatAreNotJsonAreFailuresNotCrashes) {
  test::RawServer html(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\n\r\n<html></html>");
  auto api = std::make_shared<MRAPIBase>(testEnv.env(), sandbox.engine(), html.url(""));
  Awaited<bool> fan;
  MRAPIFan(api).addWithWaid(
      "wa1", [&](bool ok, const MRFanDocument&) { fan.set(!ok); }, nullptr);
  EXPECT_TRUE(fan.get());  // a false flag, no crash

  test::RawServer broken("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
  auto failing = std::make_shared<MRAPIBase>(testEnv.env(), sandbox.engine(), broken.url(""));
  Awaited<int64_t> failure;
  MRAPITrack(failing).getWithWtid("wt1", nullptr,
                                  [&](const Error& error) { failure.set(error.code()); });
  EXPECT_EQ(failure.get(), 500);
}

TEST(TlsIntegrationTest, AServiceIsTrustedOnlyThroughItsAuthority) {
  test::TestEnv testEnv;
  sandbox::SandboxServer::Options options;
  options.dataFolder = testEnv.dir().file("sandbox");
  options.tlsPort = 0;
  sandbox::SandboxServer server(options);
  ASSERT_TRUE(server.start().ok());
  ASSERT_TRUE(
      ovloAccount(testEnv.settings()).setWithDictionary(*server.addAccount("secure", "pw")));

  const auto call = [&](const std::string& caFile) {
    HttpEngine::Options engineOptions;
    engineOptions.caFile = caFile;
    engineOptions.cacheDir = testEnv.dir().file("cache");
    auto engine =
        std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), engineOptions);
    auto api = std::make_shared<MRAPIBase>(testEnv.env(), engine, server.tlsBaseUrl());
    Awaited<std::optional<Error>> outcome;
    MRAPITrack(api).getWithWtid(
        "wt-none", [&](bool, const MRTrackDocument&) { outcome.set(std::nullopt); },
        [&](const Error& error) { outcome.set(error); });
    return outcome.get();
  };
  EXPECT_FALSE(call(server.caCertificatePath()).has_value());
  const auto untrusted = call("");
  ASSERT_TRUE(untrusted.has_value());
  EXPECT_EQ(untrusted->code(), kHttpErrorServerCertificateUntrusted);
}

}  // namespace
}  // namespace mr
