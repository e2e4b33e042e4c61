// The server itself: its lifecycle, TLS with an authority of its own, the
// faults it plays and the log of what it answered.
#include "sandbox/SandboxServer.h"

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "base/AppConfig.h"
#include "base/Json.h"
#include "sandbox/SandboxFaults.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxFaults;
using sandbox::SandboxServer;
using test::SandboxFixture;
using Steady = std::chrono::steady_clock;

double millisecondsSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

TEST_F(SandboxFixture, ABusyPortIsAnErrorAndARestartInTheSameFolderKeepsTheAccounts) {
  const auto account = signUp("keeper");
  auto second = options();
  second.dataFolder = dir.file("second");
  second.port = server->port();
  SandboxServer busy(second);
  const Status started = busy.start();
  ASSERT_FALSE(started.ok());
  EXPECT_NE(started.error().description().find("cannot listen"), std::string::npos);
  EXPECT_FALSE(busy.isRunning());

  server->stop();
  server->stop();  // a second stop is harmless
  EXPECT_FALSE(server->isRunning());
  httplib::Client late(server->baseUrl());
  EXPECT_FALSE(late.Get("/app/mac/oauth-complete"));

  start(options());
  const Value login = bodyJson(client->Post(
      "/auth/login",
      httplib::Params{{"user", "keeper"}, {"pass", "secret-pass"}, {"consumer_id", "c"}}));
  EXPECT_EQ(login.intForKeyPath("result/aid", 0), account.aid);
}

// The program's own client meets the authority in the integration tests.
TEST_F(SandboxFixture, WithTlsTheConfigNamesTheHttpsAddressAndAnAuthorityThatIsTrusted) {
  auto secure = options();
  secure.tlsPort = 0;
  start(secure);
  ASSERT_TRUE(sandbox::writeClientConfig(*server, dir.file("config/config.json")).ok());
  auto config = AppConfig::load(dir.file("config/config.json"));
  ASSERT_TRUE(config.ok()) << config.error().toString();
  for (const std::string* url :
       {&config->ovloApiBaseUrl, &config->ovloWebBaseUrl, &config->mireluneServiceBaseUrl,
        &config->mireluneWebBaseUrl, &config->lastfmBaseUrl, &config->itunesSearchBaseUrl,
        &config->videoApiBaseUrl, &config->videoWatchBaseUrl}) {
    EXPECT_EQ(*url, server->tlsBaseUrl());
  }
  EXPECT_EQ(config->caFile, dir.file("config/ca.pem"));
  httplib::Client trusting(config->ovloApiBaseUrl);
  trusting.set_ca_cert_path(config->caFile);
  trusting.enable_server_certificate_verification(true);
  auto page = trusting.Get("/app/mac/oauth-complete");
  EXPECT_EQ(status(page), 200) << httplib::to_string(page.error());
}

TEST(SandboxFaultsTest, RulesParseAsTheCommandLineGivesThemAndTheLongestPrefixApplies) {
  auto rule = SandboxFaults::parseRule("/a=b=0.25");
  ASSERT_TRUE(rule.ok());
  EXPECT_EQ(rule->first, "/a=b");
  EXPECT_DOUBLE_EQ(rule->second, 0.25);
  for (const char* bad :
       {"", "/search", "search=1", "/search=", "/search=x", "/search=-1", "=3", "/search=1ms"}) {
    EXPECT_FALSE(SandboxFaults::parseRule(bad).ok()) << bad;
  }
  SandboxFaults faults({{"/", 5}, {"/feeds/api/videos", 20}}, {{"/", 0.0}, {"/search", 1.0}});
  EXPECT_EQ(faults.latencyFor("/feeds/api/videos/abc/comments").count(), 20);
  EXPECT_EQ(faults.latencyFor("/lookup").count(), 5);
  EXPECT_TRUE(faults.shouldFail("/search"));
  EXPECT_FALSE(faults.shouldFail("/lookup"));
}

class SandboxFaultsServerTest : public SandboxFixture {
 protected:
  void SetUp() override {
    auto faulty = options();
    faulty.latencyMs = {{"/feeds/api/videos", 150}};
    faulty.failRate = {{"/search", 0.5}, {"/lookup", 1.0}};
    faulty.requestLog = dir.file("requests.jsonl");
    start(faulty);
  }
};

TEST_F(SandboxFaultsServerTest, ASlowRequestDoesNotHoldUpOthers) {
  auto slow = std::async(std::launch::async, [this] {
    httplib::Client other(server->baseUrl());
    const auto start = Steady::now();
    auto answer = other.Get("/feeds/api/videos", httplib::Params{{"alt", "json"}, {"q", "the"}},
                            httplib::Headers{});
    return std::make_pair(status(answer), millisecondsSince(start));
  });
  while (server->recordedRequests("/feeds/").empty())
    std::this_thread::yield();
  const auto start = Steady::now();
  EXPECT_EQ(status(client->Get("/watch?v=" + server->catalogue().videos()[0].id)), 200);
  EXPECT_LT(millisecondsSince(start), 100.0);
  const auto [slowStatus, slowMs] = slow.get();
  EXPECT_EQ(slowStatus, 200);
  EXPECT_GE(slowMs, 150.0);
}

TEST_F(SandboxFaultsServerTest, PathsFailEvenlyAtTheirRateAndEveryAnswerIsLoggedWithItsStatus) {
  for (int i = 0; i < 4; ++i)
    (void)get("/search", {{"term", "a b"}});
  (void)get("/lookup", {{"id", "271000000"}, {"entity", "album"}});
  EXPECT_EQ(server->recordedRequests().size(), 5u);  // failed or not
  std::ifstream log(dir.file("requests.jsonl"));
  std::vector<int> statuses;
  Value last;
  for (std::string line; std::getline(log, line);) {
    auto parsed = parseJson(line);
    ASSERT_TRUE(parsed.ok()) << line;
    last = *parsed;
    statuses.push_back(last.intForKey("status", 0));
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 503, 200, 503, 503}));
  EXPECT_EQ(last.stringForKey("path", ""), "/lookup");
  EXPECT_EQ(last.stringForKey("method", ""), "GET");
  EXPECT_EQ(last.stringForKeyPath("parameters/entity", ""), "album");
}

}  // namespace
}  // namespace mr
