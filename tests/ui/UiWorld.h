// A window's surroundings for the screens' tests: the sandbox over
// loopback, a store in a temporary folder, the queues, a shared player on
// fake media, the fake page, and a playlist screen that only records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Localization.h"
#include "model/CDUtility.h"
#include "playback/MRPlaylistPlayer.h"
#include "support/FakeMediaPlayer.h"
#include "support/SandboxRecommendParts.h"
#include "support/SandboxSession.h"
#include "ui/FakePage.h"
#include "ui/MRMainWindowController.h"
#include "ui/MRPlaylistShowing.h"

namespace mr::test {

class FakePlaylistScreen final : public MRScreen, public MRPlaylistShowing {
 public:
  FakePlaylistScreen(BridgeHub& hub, std::shared_ptr<MRPlaylist> playlist)
      : playlist(std::move(playlist)) {
    bridge_ = hub.open(hub.newChannelName("playlist"), this);
  }
  std::string kind() const override { return "playlist"; }
  std::string title() const override { return "Playlist"; }
  void onAppMessage(const std::string&, const AppParams&) override {}
  void scrollToPlayingRow() override { ++scrolls; }
  void screenWillDisappear() override { ++disappeared; }

  std::shared_ptr<MRPlaylist> playlist;
  int scrolls = 0;
  int disappeared = 0;
};

class ListMix final : public MRPlaylist {
 public:
  void add(std::shared_ptr<MRPlaylistTrackItem> item) { appendTrack(std::move(item)); }
};

inline std::shared_ptr<MRPlaylistTrackItem> playableItem(const std::string& title,
                                                         const std::string& artist) {
  auto item = std::make_shared<MRPlaylistTrackItem>();
  item->title = title;
  item->artist = artist;
  item->imageUrl = "http://art.test/" + CDUtility::normalize(title) + ".jpg";
  MRPreviewDataSource preview;
  preview.sourceID = MRPreviewSourceIDITunes;
  preview.previewUrl = "http://audio.test/" + CDUtility::normalize(title) + ".m4a";
  auto info = std::make_shared<MRiTunesAdditionalInfo>();
  info->setTrackViewUrl("https://store.test/track?id=1&x=" + CDUtility::normalize(title));
  preview.additionalInfo = info;
  item->previewDataSourceSet = {preview};
  return item;
}

inline void registerMainTexts() {
  registerLocalizedStrings({{"Home", "Home"},
                            {"MyFavorites", "My Favorites"},
                            {"History", "History"},
                            {"MyMusicProfile", "My Music Profile"},
                            {"ProcessingStatus", "Processing Status"},
                            {"MainMenuPage", "MainMenu"},
                            {"MRSettingsViewContentMixClearHistoryDidComplete",
                             "Your playback history has been cleared."},
                            {"notice", "Notice"},
                            {"MRSettingsViewContentConfirmLoggingOut",
                             "Do you really want to log out?"}});
}

struct UiWorld : ::testing::Test {
  TestEnv testEnv;
  SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  std::shared_ptr<FakeMediaPlayerFactory> media =
      std::make_shared<FakeMediaPlayerFactory>(testEnv.clock(), testEnv.dispatcher());
  std::shared_ptr<NotificationCenter> notices =
      std::make_shared<NotificationCenter>(testEnv.dispatcher());
  std::shared_ptr<MRPlaylistPlayer> player =
      MRPlaylistPlayer::create(MRPlayerParts{&testEnv.env(), media, notices});
  FakePage page;
  MRUiContext context;
  std::vector<std::string> browsed;
  std::vector<std::shared_ptr<FakePlaylistScreen>> playlistScreens;
  std::unique_ptr<MRMainWindowController> window;

  UiWorld() {
    registerMainTexts();
    context.env = &testEnv.env();
    context.store = store;
    context.mix.recommend = sandboxRecommendParts(testEnv, sandbox, store, network);
    context.mix.serviceQueue = serviceQueue;
    context.mix.mirelune = sandbox.mirelune();
    context.player = player;
    context.hub = &page.hub;
    context.notifications = notices;
    context.openInBrowser = [this](const std::string& url) { browsed.push_back(url); };
  }
  ~UiWorld() override {
    window.reset();
    player->stop();
    serviceQueue->cancelAllOperations();
    network->cancelAllOperations();
    testEnv.pumpUntil(
        [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
    testEnv.dispatcher().pump();
  }

  MRMainWindowController& openWindow() {
    window = std::make_unique<MRMainWindowController>(
        context, [this](MRScreenHost&, std::shared_ptr<MRPlaylist> playlist) {
          auto screen = std::make_shared<FakePlaylistScreen>(page.hub, std::move(playlist));
          playlistScreens.push_back(screen);
          return screen;
        });
    window->showWindow();
    return *window;
  }
  void pump() { testEnv.dispatcher().pump(); }
  void advance(double secondsToGo) {
    testEnv.clock().advance(seconds(secondsToGo));
    pump();
  }
  void request(const std::string& channel, const std::string& url) { page.navigate(channel, url); }
  void main(const std::string& url) { page.navigate("main", url); }
};

}  // namespace mr::test
