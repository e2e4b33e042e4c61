#include "sandbox/SandboxFaults.h"

#include <chrono>
#include <future>

#include "base/AppConfig.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxFaults;
using Clock = std::chrono::steady_clock;

TEST(SandboxFaultsTest, ParsesPrefixEqualsNumber) {
  auto rule = SandboxFaults::parseRule("/2.0/=50");
  ASSERT_TRUE(rule.ok());
  EXPECT_EQ(rule->first, "/2.0/");
  EXPECT_DOUBLE_EQ(rule->second, 50);
  auto share = SandboxFaults::parseRule("/search=0.1");
  ASSERT_TRUE(share.ok());
  EXPECT_DOUBLE_EQ(share->second, 0.1);
  auto equalsInside = SandboxFaults::parseRule("/a=b=2");
  ASSERT_TRUE(equalsInside.ok());
  EXPECT_EQ(equalsInside->first, "/a=b");
  for (const char* bad :
       {"", "/search", "search=1", "/search=", "/search=x", "/search=-1", "=3", "/search=1ms"}) {
    EXPECT_FALSE(SandboxFaults::parseRule(bad).ok()) << bad;
  }
}

TEST(SandboxFaultsTest, TheLongestMatchingPrefixApplies) {
  SandboxFaults faults({{"/", 5}, {"/2.0/", 50}, {"/feeds/api/videos", 20}},
                       {{"/", 0.0}, {"/search", 1.0}});
  EXPECT_EQ(faults.latencyFor("/2.0/").count(), 50);
  EXPECT_EQ(faults.latencyFor("/feeds/api/videos/abc/comments").count(), 20);
  EXPECT_EQ(faults.latencyFor("/lookup").count(), 5);
  EXPECT_TRUE(faults.shouldFail("/search"));
  EXPECT_FALSE(faults.shouldFail("/lookup"));
  EXPECT_FALSE(SandboxFaults({}, {}).shouldFail("/search"));
  EXPECT_TRUE(SandboxFaults({}, {}).empty());
  EXPECT_EQ(SandboxFaults({}, {}).latencyFor("/2.0/").count(), 0);
}

TEST(SandboxFaultsTest, FailuresAreSpreadEvenlyAtTheRate) {
  SandboxFaults faults({}, {{"/search", 0.25}, {"/lookup", 0.1}});
  std::vector<int> failed;
  for (int n = 1; n <= 12; ++n) {
    if (faults.shouldFail("/search?term=x")) failed.push_back(n);
  }
  EXPECT_EQ(failed, (std::vector<int>{4, 8, 12}));
  int lookups = 0;
  for (int n = 0; n < 100; ++n)
    lookups += faults.shouldFail("/lookup") ? 1 : 0;
  EXPECT_EQ(lookups, 10);
}

class SandboxFaultsServerTest : public test::SandboxFixture {
 protected:
  void SetUp() override {
    auto options = this->options();
    options.latencyMs = {{"/2.0/", 20}, {"/feeds/api/videos", 150}};
    options.failRate = {{"/search", 0.5}, {"/lookup", 1.0}};
    server = std::make_unique<sandbox::SandboxServer>(options);
    const Status started = server->start();
    ASSERT_TRUE(started.ok()) << started.error().toString();
    client = std::make_unique<httplib::Client>(server->baseUrl());
  }

  static double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
};

TEST_F(SandboxFaultsServerTest, LatencyDelaysThePathNamed) {
  const std::string& name = server->catalogue().artists()[0].name;
  const auto start = Clock::now();
  auto slow = getQuery(
      "/2.0/",
      {{"method", "artist.getInfo"}, {"artist", name}, {"api_key", AppConfig{}.lastfmApiKey}});
  ASSERT_TRUE(slow);
  EXPECT_EQ(slow->status, 200);
  EXPECT_GE(millisecondsSince(start), 20.0);
}

TEST_F(SandboxFaultsServerTest, ASlowRequestDoesNotHoldUpOthers) {
  // The feed waits 150 ms on its own thread; a page asked for meanwhile answers at once.
  auto slow = std::async(std::launch::async, [this] {
    httplib::Client other(server->baseUrl());
    const auto start = Clock::now();
    auto answer = other.Get("/feeds/api/videos", httplib::Params{{"alt", "json"}, {"q", "the"}},
                            httplib::Headers{});
    return std::make_pair(answer ? answer->status : 0, millisecondsSince(start));
  });
  while (server->recordedRequests("/feeds/").empty())
    std::this_thread::yield();
  const auto start = Clock::now();
  auto quick = client->Get("/watch?v=" + server->catalogue().videos()[0].id);
  const double quickMs = millisecondsSince(start);
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->status, 200);
  const auto [status, slowMs] = slow.get();
  EXPECT_EQ(status, 200);
  EXPECT_GE(slowMs, 150.0);
  EXPECT_LT(quickMs, 100.0);
}

TEST_F(SandboxFaultsServerTest, FailingPathsAnswer503AtTheirRate) {
  std::vector<int> statuses;
  for (int i = 0; i < 6; ++i) {
    auto answer = getQuery("/search", {{"term", "the"}});
    ASSERT_TRUE(answer);
    statuses.push_back(answer->status);
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 503, 200, 503, 200, 503}));
  auto lookup = getQuery("/lookup", {{"id", "1"}});
  ASSERT_TRUE(lookup);
  EXPECT_EQ(lookup->status, 503);
  auto feed = getQuery("/feeds/api/videos/AAAAAAAAAAA/comments", {{"alt", "json"}});
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed->status, 404);  // not failed, only slow
}

TEST_F(SandboxFaultsServerTest, RequestsAreRecordedFailedOrNot) {
  server->clearRecordedRequests();
  (void)getQuery("/lookup", {{"id", "271000000"}, {"entity", "album"}});
  (void)getQuery("/search", {{"term", "a b"}});
  const auto lookups = server->recordedRequests("/lookup");
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(lookups[0].method, "GET");
  EXPECT_EQ(lookups[0].parameters.find("entity")->asString()->c_str(), std::string("album"));
  ASSERT_EQ(server->recordedRequests().size(), 2u);
  EXPECT_EQ(server->recordedRequests("/search")[0].parameters.find("term")->asString()->c_str(),
            std::string("a b"));
}

}  // namespace
}  // namespace mr
