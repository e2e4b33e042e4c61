// The main window: side menu and navigation, the control panel and the
// space bar, alerts, the application menu and the artist search.
#include <gtest/gtest.h>

#include "base/MRUserDefaults.h"
#include "base/NSHTTPQueryDictionary.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "playback/MRHistoryMix.h"
#include "store/CDFavoriteTrack.h"
#include "ui/MRFavoriteArtistListViewController.h"
#include "ui/UiWorld.h"

namespace mr {
namespace {

using test::UiWorld;

struct MainWindowTest : UiWorld {};

TEST_F(MainWindowTest, TheWindowIsSentWholeOnEveryConnect) {
  auto& window = openWindow();
  ASSERT_TRUE(window.modalViewController());
  const std::string home = window.modalViewController()->channel();
  EXPECT_EQ(page.last("main", "app.setSideMenu"),
            R"(app.setSideMenu([{"index":0,"key":"Home","title":"Home"},)"
            R"({"index":1,"key":"MyFavorites","title":"My Favorites"},)"
            R"({"index":2,"key":"History","title":"History"},)"
            R"({"index":3,"key":"MyMusicProfile","title":"My Music Profile"},)"
            R"({"index":4,"key":"ProcessingStatus","title":"Processing Status"}],null))");
  EXPECT_EQ(page.last("main", "app.setModal"),
            R"(app.setModal({"channel":")" + home +
                R"(","kind":"home","title":"Home","src":"page/MainMenu/MainMenu.html"}))");
  page.clear();
  page.connect();
  for (const char* call : {"app.setSideMenu(", "app.setStack([])", "app.setModal({",
                           "app.setControlPanel({\"state\":\"none\"", "app.setDetail(",
                           "app.setVideo(", "app.setMenu(", "app.setSearch("}) {
    EXPECT_NE(page.last("main", call), "") << call;
  }
  EXPECT_EQ(page.last("main", "app.setDetail("),
            R"(app.setDetail({"src":"page/TrackDetail/track.html","channel":"detail"}))");
}

TEST_F(MainWindowTest, SideMenuNavigation) {
  auto& window = openWindow();
  auto home = window.modalViewController();
  main("app://sideMenuDidSelect?index=0");
  main("app://sideMenuDidSelect?index=x");  // not a number: the home page too
  EXPECT_EQ(window.modalViewController(), home);
  EXPECT_EQ(page.last("main", "app.setSideMenu").substr(page.last("main", "app.setSideMenu").size() - 3),
            ",0)");

  // Favorites: all, shuffled, then by artist.
  CDFavoriteTrackEntityController favorites(store.get());
  ASSERT_TRUE(favorites.addWithPlaylistTrack(*test::playableItem("Song", "Zed"), Date{1.0e9}).ok());
  ASSERT_TRUE(favorites.addWithPlaylistTrack(*test::playableItem("Tune", "Abe"), Date{1.0e9}).ok());
  main("app://sideMenuDidSelect?index=1");
  EXPECT_FALSE(window.modalViewController());
  ASSERT_EQ(window.navigationStack().size(), 1u);
  auto artists = std::dynamic_pointer_cast<MRFavoriteArtistListViewController>(
      window.navigationStack().back());
  ASSERT_TRUE(artists);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !artists->isLoading(); }));
  EXPECT_EQ(artists->favoriteArtists(), (std::vector<std::string>{"Abe", "Zed"}));
  request(artists->channel(), "app://itemDidSelect?index=3");
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto byArtist = std::dynamic_pointer_cast<MRFavoriteTrackMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(byArtist);
  EXPECT_EQ(byArtist->subjectArtist(), "Zed");
  EXPECT_EQ(window.navigationStack().size(), 2u);
  request(artists->channel(), "app://itemDidSelect?index=7");  // beyond the list: ignored
  EXPECT_EQ(window.navigationStack().size(), 2u);

  main("app://navigateBack");
  EXPECT_EQ(window.navigationStack().size(), 1u);
  EXPECT_EQ(playlistScreens[0]->disappeared, 1);

  // Home again: a new home page, as the modal screen had gone.
  main("app://sideMenuDidSelect?index=0");
  ASSERT_TRUE(window.modalViewController());
  EXPECT_NE(window.modalViewController(), home);

  main("app://sideMenuDidSelect?index=3");
  auto profile = window.modalViewController();
  EXPECT_EQ(profile->kind(), "profile");
  main("app://sideMenuDidSelect?index=3");
  EXPECT_EQ(window.modalViewController(), profile);

  main("app://sideMenuDidSelect?index=4");
  auto status = window.navigationStack().back();
  EXPECT_EQ(status->kind(), "processingStatus");
  page.load(status->channel());
  EXPECT_NE(page.last(status->channel(), "app.setList"), "");
  main("app://navigateBack");
  page.clear();
  advance(5.0);
  EXPECT_TRUE(page.scripts(status->channel()).empty());  // no refresh once gone

  main("app://sideMenuDidSelect?index=9");
  EXPECT_EQ(window.navigationStack().size(), 1u);
}

TEST_F(MainWindowTest, ClearingTheHistoryEmptiesTheHistoryMix) {
  openWindow();
  {
    CDPlayHistoryTrackEntityController history(store.get());
    for (const char* title : {"One", "Two"}) {
      auto record = history.insertNewObject();
      record->setTitle(std::string(title));
      record->setArtist(std::string("Band"));
      record->setItemHash(CDUtility::itemHashWithTitle(title, "Band"));
      record->setPlayedAt(Date{1.0e9});
    }
    ASSERT_TRUE(history.save().ok());
  }
  main("app://menuCommand?name=clearHistory");
  EXPECT_EQ(CDPlayHistoryTrackEntityController(store.get()).countAllItems(), 0);
  EXPECT_EQ(page.last("main", "app.showAlert"),
            R"(app.showAlert({"id":1,"title":"","message":"Your playback history has been cleared.",)"
            R"("buttons":["OK"],"cancel":0,"destructive":null,"sheet":false}))");
  main("app://alertDidEnd?id=1&button=0");
  EXPECT_EQ(page.last("main", "app.closeAlert"), "app.closeAlert(1)");

  main("app://sideMenuDidSelect?index=2");
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto mix = std::dynamic_pointer_cast<MRHistoryMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(mix);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return mix->isFinished(); }));
  EXPECT_EQ(mix->numberOfTracks(), 0u);
}

TEST_F(MainWindowTest, AlertsEndOnceAndLoggingOutAsksFirst) {
  auto& window = openWindow();
  int logouts = 0;
  context.logout = [&] { ++logouts; };
  main("app://menuCommand?name=logout");
  const std::string alert = page.last("main", "app.showAlert");
  EXPECT_EQ(alert, R"(app.showAlert({"id":1,"title":"Notice","message":"Do you really want to log out?",)"
                   R"("buttons":["No","Yes"],"cancel":0,"destructive":null,"sheet":false}))");
  main("app://alertDidEnd?id=1&button=0");
  EXPECT_EQ(logouts, 0);
  main("app://menuCommand?name=logout");
  main("app://alertDidEnd?id=2&button=1");
  main("app://alertDidEnd?id=2&button=1");  // already ended
  EXPECT_EQ(logouts, 1);

  std::vector<int> buttons;
  window.showAlert(errorAlert("Broken"), [&](int button) { buttons.push_back(button); });
  main("app://alertDidEnd?id=3");  // dismissed without a button
  main("app://alertDidEnd?id=99&button=0");
  EXPECT_EQ(buttons, std::vector<int>{-1});
}

TEST_F(MainWindowTest, MenuTogglesConnectionsAndInstructions) {
  openWindow();
  MRUserDefaults defaults(testEnv.settings(), testEnv.dir().path());
  EXPECT_TRUE(defaults.shareOnFacebook());
  main("app://menuCommand?name=shareOnFacebook");
  EXPECT_FALSE(defaults.shareOnFacebook());
  EXPECT_NE(page.last("main", "app.setMenu").find(R"("shareOnFacebook":false)"), std::string::npos);
  main("app://menuCommand?name=shareOnTwitter");
  main("app://menuCommand?name=autoSharingOnFavorite");
  EXPECT_FALSE(defaults.shareOnTwitter());
  EXPECT_FALSE(defaults.autoSharingOnFavorite());
  main("app://menuCommand?name=shareOnFacebook");
  EXPECT_TRUE(defaults.shareOnFacebook());

  std::vector<std::string> disconnected;
  context.disconnectService = [&](const std::string& service) { disconnected.push_back(service); };
  main("app://menuCommand?name=disconnectTwitter");
  main("app://menuCommand?name=disconnectFacebook");
  EXPECT_EQ(disconnected, (std::vector<std::string>{"twitter", "facebook"}));

  const std::string base = sandbox.server().baseUrl();
  context.connections = std::make_shared<ovloConnectionAPI>(
      testEnv.env(), sandbox.engine(), base,
      std::make_shared<ovloConnectionList>(testEnv.settings()));
  context.auth = std::make_shared<ovloAuth>(testEnv.env(), sandbox.engine(), base);
  main("app://menuCommand?name=configureFacebook");
  main("app://menuCommand?name=configureTwitter");
  main("app://menuCommand?name=manageAccount");
  ASSERT_EQ(browsed.size(), 3u);
  EXPECT_NE(browsed[0].find("facebook"), std::string::npos);
  EXPECT_NE(browsed[0].find(testEnv.env().config().facebookAppId), std::string::npos);
  EXPECT_NE(browsed[1].find("twitter"), std::string::npos);
  EXPECT_NE(browsed[2].find("account"), std::string::npos);

  MRInstructionSwitch switches(testEnv.settings());
  ASSERT_TRUE(switches.turnOffAllSwitches().ok());
  EXPECT_FALSE(switches.welcomeMessage());
  main("app://menuCommand?name=showInstructions");
  EXPECT_TRUE(switches.allSwitchIsOn());
  main("app://menuCommand?name=noSuchCommand");
}

TEST_F(MainWindowTest, EachTipShowsOnceUntilTheMenuAsksForThemAgain) {
  auto& window = openWindow();
  const auto tips = [&] {
    std::vector<std::string> kinds;
    for (const auto& script : page.scripts("main")) {
      if (script.rfind("app.showInstruction(", 0) == 0) kinds.push_back(script);
    }
    return kinds;
  };
  const std::string home = window.modalViewController()->channel();
  page.load(home);
  page.load(home);  // a reload: not again
  EXPECT_EQ(tips(), std::vector<std::string>{R"(app.showInstruction({"kind":"welcome"}))"});

  main("app://sideMenuDidSelect?index=3");
  ASSERT_EQ(window.modalViewController()->kind(), "profile");
  const std::string profile = window.modalViewController()->channel();
  page.load(profile);
  page.load(profile);
  EXPECT_EQ(tips().size(), 2u);
  EXPECT_EQ(tips().back(), R"(app.showInstruction({"kind":"musicProfile"}))");

  // Tips the listener turned off stay off; the menu brings them all back.
  ASSERT_TRUE(MRInstructionSwitch(testEnv.settings()).turnOffAllSwitches().ok());
  EXPECT_FALSE(window.instructionWindow().showAboutCaching());
  page.clear();
  main("app://menuCommand?name=showInstructions");
  main("app://sideMenuDidSelect?index=0");
  page.load(window.modalViewController()->channel());
  EXPECT_EQ(tips(), std::vector<std::string>{R"(app.showInstruction({"kind":"welcome"}))"});
  EXPECT_TRUE(window.instructionWindow().showAboutCaching());
  EXPECT_FALSE(window.instructionWindow().showAboutCaching());
}

struct ControlPanelTest : UiWorld {
  std::shared_ptr<test::ListMix> mix = std::make_shared<test::ListMix>();
  ControlPanelTest() {
    mix->add(test::playableItem("First", "Band"));
    mix->add(test::playableItem("Second", "Band"));
    player->setPlaylist(mix);
  }
  MRTrackPlayerStatus status() {
    auto track = player->currentTrackPlayer();
    return track ? track->status() : MRTrackPlayerStatusIdle;
  }
  void space() {
    main("app://keyDown?code=32");
    main("app://keyUp?code=32");
  }
};

TEST_F(ControlPanelTest, SpaceStartsPausesAndResumes) {
  openWindow();
  ASSERT_FALSE(player->currentTrackPlayer());
  main("app://keyDown?code=32");
  EXPECT_EQ(page.last("main", "app.setPlayHighlight"), "app.setPlayHighlight(true)");
  EXPECT_FALSE(player->currentTrackPlayer());
  main("app://keyUp?code=32");
  EXPECT_EQ(page.last("main", "app.setPlayHighlight"), "app.setPlayHighlight(false)");
  ASSERT_TRUE(player->currentTrackPlayer());  // no current track: the playlist started
  ASSERT_TRUE(testEnv.pumpUntil([&] { return status() == MRTrackPlayerStatusPlaying; }));
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "First");
  pump();
  const std::string panel = page.last("main", "app.setControlPanel");
  EXPECT_NE(panel.find(R"("state":"playing","title":"First","artist":"Band")"), std::string::npos)
      << panel;
  EXPECT_NE(panel.find(R"("sourceId":10)"), std::string::npos) << panel;

  // While playing, the time goes out on the timer.
  page.clear();
  advance(0.5);
  advance(0.5);
  EXPECT_GE(page.scripts("main").size(), 2u);
  EXPECT_NE(page.last("main", "app.setPlaybackTime").find(R"("duration":30)"), std::string::npos);

  space();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return status() == MRTrackPlayerStatusPaused; }));
  pump();
  page.clear();
  advance(2.0);
  EXPECT_EQ(page.last("main", "app.setPlaybackTime"), "");  // paused: no timer
  space();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return status() == MRTrackPlayerStatusPlaying; }));

  main("app://keyUp?code=65");  // another key is not the panel's
  pump();
  EXPECT_EQ(status(), MRTrackPlayerStatusPlaying);

  main("app://controlPanel?action=forward");
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return player->currentTrackPlayer()->trackItem()->title == "Second";
  }));
  main("app://controlPanel?action=backward");
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return player->currentTrackPlayer()->trackItem()->title == "First";
  }));
}

TEST_F(ControlPanelTest, TheCurrentTrackOpensItsPlaylistAndTheImageButtonTheVideo) {
  auto& window = openWindow();
  ASSERT_TRUE(player->play());
  ASSERT_TRUE(testEnv.pumpUntil([&] { return status() == MRTrackPlayerStatusPlaying; }));
  main("app://controlPanel?action=currentTrack");
  EXPECT_FALSE(window.modalViewController());
  ASSERT_EQ(playlistScreens.size(), 1u);
  EXPECT_EQ(playlistScreens[0]->playlist, mix);
  EXPECT_TRUE(window.trackDetailViewController().autoloadOnPlay());
  EXPECT_EQ(window.trackDetailViewController().trackItem()->title, "First");
  // Again, with its screen on top: scrolled, not pushed again.
  main("app://controlPanel?action=currentTrack");
  EXPECT_EQ(playlistScreens.size(), 1u);
  EXPECT_EQ(playlistScreens[0]->scrolls, 1);

  EXPECT_NE(page.last("main", "app.setControlPanel").find(R"("videoVisible":false)"),
            std::string::npos);
  main("app://controlPanel?action=image");
  EXPECT_TRUE(window.trackDetailViewController().videoPlayerViewVisible());
  EXPECT_NE(page.last("main", "app.setControlPanel").find(R"("videoVisible":true)"),
            std::string::npos);
  EXPECT_NE(page.last("main", "app.setVideo").find(R"("visible":true)"), std::string::npos);
  main("app://controlPanel?action=image");
  EXPECT_FALSE(window.trackDetailViewController().videoPlayerViewVisible());
}

// ---- Artist search

struct ArtistSearchTest : UiWorld {
  std::string artistName() { return sandbox.server().catalogue().artists().front().name; }
};

TEST_F(ArtistSearchTest, ResultsKeysAndChoice) {
  auto& window = openWindow();
  auto& search = window.searchResultViewController();
  const std::string name = artistName();
  main("app://searchTextDidChange?text=" + NSHTTPQueryDictionary::urlencode(name));
  EXPECT_TRUE(search.isOpen());
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !search.isSearching(); }));
  ASSERT_FALSE(search.searchResult().empty());
  EXPECT_EQ(search.searchResult().front(), name);
  EXPECT_EQ(search.selectedRow(), 0u);
  EXPECT_NE(page.last("main", "app.setSearch").find(R"("open":true)"), std::string::npos);
  const size_t count = search.searchResult().size();

  main("app://searchKey?key=up");  // wraps to the last
  EXPECT_EQ(search.selectedRow(), count - 1);
  main("app://searchKey?key=down");  // and back to the first
  EXPECT_EQ(search.selectedRow(), 0u);
  EXPECT_NE(page.last("main", "app.setSearch").find(R"("selected":0)"), std::string::npos);
  main("app://searchKey?key=escape");
  EXPECT_FALSE(search.isOpen());
  EXPECT_TRUE(playlistScreens.empty());

  main("app://searchKey?key=return");
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto mix = std::dynamic_pointer_cast<MRArtistTopTrackMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(mix);
  EXPECT_EQ(mix->artistName(), name);
  EXPECT_EQ(window.navigationStack().back(), playlistScreens[0]);

  main("app://searchDidChoose?index=99");
  EXPECT_EQ(playlistScreens.size(), 1u);
}

TEST_F(ArtistSearchTest, AnAnswerForAnOlderTextIsIgnored) {
  auto& window = openWindow();
  auto& search = window.searchResultViewController();
  const std::string name = artistName();
  main("app://searchTextDidChange?text=" + NSHTTPQueryDictionary::urlencode(name.substr(0, 1)));
  main("app://searchTextDidChange?text=" + NSHTTPQueryDictionary::urlencode(name));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !search.isSearching(); }));
  advance(1.0);
  ASSERT_FALSE(search.searchResult().empty());
  EXPECT_EQ(search.searchResult().front(), name);
  EXPECT_EQ(page.last("main", "app.showAlert"), "");  // the cancelled request shows nothing

  // Emptied while a search runs: its answer does not reopen the list.
  main("app://searchTextDidChange?text=" + NSHTTPQueryDictionary::urlencode(name));
  main("app://searchTextDidChange?text=");
  advance(1.0);
  for (int i = 0; i < 5; ++i)
    advance(0.5);
  EXPECT_FALSE(search.isOpen());
  EXPECT_TRUE(search.searchResult().empty());
}

}  // namespace
}  // namespace mr
