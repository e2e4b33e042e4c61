#include "ui/BridgeHub.h"

#include <gtest/gtest.h>

#include "ui/FakePage.h"

namespace mr {
namespace {

struct Recorder : ScriptBridgeDelegate {
  void pageDidFinishLoad() override { ++loads; }
  void onAppMessage(const std::string& name, const AppParams& params) override {
    messages.push_back({name, params});
  }
  void onLinkNavigation(const std::string& url) override { links.push_back(url); }
  int loads = 0;
  std::vector<std::pair<std::string, AppParams>> messages;
  std::vector<std::string> links;
};

TEST(AppURLTest, NameAndDecodedParameters) {
  std::string name;
  AppParams params;
  ASSERT_TRUE(parseAppURL("app://genreDidSelect?index=2&text=a%20b%26c&flag", name, params));
  EXPECT_EQ(name, "genreDidSelect");
  EXPECT_EQ(params.at("index"), "2");
  EXPECT_EQ(params.at("text"), "a b&c");
  EXPECT_FALSE(params.count("flag"));
  EXPECT_FALSE(parseAppURL("https://example.com/app://x", name, params));
  EXPECT_EQ(appParamInt({{"index", "x"}}, "index"), 0);
  EXPECT_EQ(appParamInt({}, "index"), 0);
  EXPECT_EQ(appParamInt({{"index", "-3"}}, "index"), -3);
  EXPECT_EQ(appParamInt({{"index", "99999999999"}}, "index"), 0);
}

TEST(BridgeHubTest, RoutesFramesByChannelAndDropsTheRest) {
  test::FakePage page;
  Recorder home, detail;
  auto homeBridge = page.hub.open("home-1", &home);
  auto detailBridge = page.hub.open("detail", &detail);
  page.load("home-1");
  page.navigate("home-1", "app://genreDidSelect?index=2");
  page.navigate("detail", "https://www.last.fm/music/A");
  page.navigate("nowhere", "app://x");
  page.hub.receive("not json");
  page.hub.receive("[1,2]");
  EXPECT_EQ(home.loads, 1);
  ASSERT_EQ(home.messages.size(), 1u);
  EXPECT_EQ(home.messages[0].first, "genreDidSelect");
  EXPECT_EQ(detail.links, std::vector<std::string>{"https://www.last.fm/music/A"});

  homeBridge->evaluate("app.setGenreList([])");
  EXPECT_EQ(page.scripts("home-1"), std::vector<std::string>{"app.setGenreList([])"});

  homeBridge.reset();  // a closed channel hears nothing more
  page.navigate("home-1", "app://genreDidSelect?index=1");
  EXPECT_EQ(home.messages.size(), 1u);
}

TEST(BridgeHubTest, ScriptsAreDroppedWhileNoPageIsAttachedAndHelloReachesTheWindow) {
  test::FakePage page;
  Recorder main;
  int connects = 0;
  page.hub.setConnectHandler([&] { ++connects; });
  auto bridge = page.hub.open("main", &main);
  page.hub.setSender(nullptr);
  bridge->evaluate("app.setStack([])");
  EXPECT_TRUE(page.sent.empty());
  page.connect();
  EXPECT_EQ(connects, 1);
}

}  // namespace
}  // namespace mr
