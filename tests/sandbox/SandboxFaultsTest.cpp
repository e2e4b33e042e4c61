#include "sandbox/SandboxFaults.h"

#include <gtest/gtest.h>

namespace mr {
namespace {

using sandbox::SandboxFaults;

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

}  // namespace
}  // namespace mr
