// The track player and the playlist player on the scripted media player and
// the fake clock: statuses, fades, cross-fades, the listener's buttons,
// stalls, failures and the returning link.
#include <gtest/gtest.h>

#include <cmath>

#include "playback/MRPlaylistPlayer.h"
#include "playback/MRTrackPlayer.h"
#include "support/FakeMediaPlayer.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

using test::FakeMediaScript;

std::string urlOf(const std::string& title) {
  return "http://audio.test/" + title + ".m4a";
}

std::shared_ptr<MRPlaylistTrackItem> itemWithPreview(const std::string& title) {
  auto item = std::make_shared<MRPlaylistTrackItem>();
  item->title = title;
  item->artist = "Artist";
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDITunes;
  source.previewUrl = urlOf(title);
  item->previewDataSourceSet = {source};
  return item;
}

class TestMix final : public MRPlaylist {
 public:
  void add(std::shared_ptr<MRPlaylistTrackItem> item) { appendTrack(std::move(item)); }
};

// Everything the track player tells its delegates, as lines.
class TrackEvents final : public MRTrackPlayerDelegate, public MRTrackPlayerViewDelegate {
 public:
  void trackPlayerFailedToInitializePlayerWithError(MRTrackPlayer&, const Error& error) override {
    lines.push_back("failed " + error.description());
  }
  void trackPlayerIsOnBeginningOfFadingOut(MRTrackPlayer& player) override {
    lines.push_back("fading out at " + std::to_string(std::lround(player.currentTime() * 10)));
  }
  void trackPlayerDidChangeStatus(MRTrackPlayer&, MRTrackPlayerStatus status) override {
    statuses.push_back(status);
  }
  void trackPlayerDidChangeBufferingProgress(MRTrackPlayer&, float progress) override {
    lines.push_back("buffered " + std::to_string(std::lround(progress * 100)) + "%");
  }
  void trackPlayerDidEncounterError(MRTrackPlayer&, const Error& error) override {
    lines.push_back("error " + error.description());
  }

  std::vector<std::string> lines;
  std::vector<MRTrackPlayerStatus> statuses;
};

class PlaylistEvents final : public MRPlaylistPlayerDelegate {
 public:
  bool playlistPlayerWillPlayTrack(MRPlaylistPlayer&,
                                   const std::shared_ptr<MRPlaylistTrackItem>& item) override {
    lines.push_back("will play " + item->title + (acceptNext ? "" : " (refused)"));
    return acceptNext;
  }
  void playlistPlayerWillFinishTrack(MRPlaylistPlayer&,
                                     const std::shared_ptr<MRPlaylistTrackItem>& item) override {
    lines.push_back("will finish " + item->title);
  }
  void playlistPlayerDidStartPlayingTrack(MRPlaylistPlayer&,
                                          const std::shared_ptr<MRPlaylistTrackItem>& item,
                                          const std::shared_ptr<MRTrackPlayer>&) override {
    lines.push_back("started " + item->title);
  }
  void playlistPlayerDidFailToInitializeTrackPlayer(MRPlaylistPlayer&,
                                                    const std::shared_ptr<MRTrackPlayer>& player,
                                                    const Error& error) override {
    lines.push_back("failed " + player->trackItem()->title + ": " + error.description());
  }

  bool acceptNext = true;
  std::vector<std::string> lines;
};

struct Notice {
  std::string name;
  const void* object = nullptr;
  std::shared_ptr<MRTrackPlayer> trackPlayer;  // from the user info
};

struct PlayerFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<test::FakeMediaPlayerFactory> media =
      std::make_shared<test::FakeMediaPlayerFactory>(testEnv.clock(), testEnv.dispatcher());
  std::shared_ptr<NotificationCenter> notices =
      std::make_shared<NotificationCenter>(testEnv.dispatcher());
  MRPlayerParts parts{&testEnv.env(), media, notices};
  std::vector<Notice> posted;

  PlayerFixture() {
    notices->addObserver("", [this](const Notification& notification) {
      Notice notice{notification.name, notification.object.get(), nullptr};
      auto found = notification.userInfo.find(MRPlaylistPlayerTrackPlayerKey);
      if (found != notification.userInfo.end())
        notice.trackPlayer = std::any_cast<std::shared_ptr<MRTrackPlayer>>(found->second);
      posted.push_back(std::move(notice));
    });
  }

  // Queued notices hold their track players: deliver them while the
  // surroundings those players use still exist.
  ~PlayerFixture() override { pump(); }

  void pump() { testEnv.dispatcher().pump(); }
  // Lets `duration` of fake time pass in steps of 50 ms, running the main
  // loop at each.
  void run(double duration) {
    const long steps = std::lround(duration / 0.05);
    for (long i = 0; i < steps; ++i) {
      testEnv.clock().advance(seconds(0.05));
      pump();
    }
  }
  // The names of the notices posted by `object`, in order.
  std::vector<std::string> noticesOf(const void* object) const {
    std::vector<std::string> names;
    for (const auto& notice : posted) {
      if (notice.object == object) names.push_back(notice.name);
    }
    return names;
  }
  int countOf(const std::string& name) const {
    int count = 0;
    for (const auto& notice : posted)
      count += notice.name == name ? 1 : 0;
    return count;
  }
  std::shared_ptr<TestMix> mixOf(const std::vector<std::string>& titles) {
    auto mix = std::make_shared<TestMix>();
    for (const auto& title : titles)
      mix->add(itemWithPreview(title));
    return mix;
  }
  std::shared_ptr<MRTrackPlayer> trackPlayerFor(const std::string& title,
                                                const std::shared_ptr<TrackEvents>& events) {
    auto player = MRTrackPlayer::initWithTrackItem(parts, itemWithPreview(title));
    player->setDelegate(events);
    player->setViewDelegate(events);
    return player;
  }
};

using TrackPlayerTest = PlayerFixture;
using PlaylistPlayerTest = PlayerFixture;

// ---------------------------------------------------------------- one track

TEST_F(TrackPlayerTest, StartsLoadingThenPlaysWithFadesOverTheFirstAndLastFiveSeconds) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  EXPECT_EQ(player->status(), MRTrackPlayerStatusIdle);
  ASSERT_TRUE(player->play());
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
  EXPECT_EQ(player->previewDataSource()->previewUrl, urlOf("One"));
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(events->statuses, (std::vector<MRTrackPlayerStatus>{MRTrackPlayerStatusLoading,
                                                                MRTrackPlayerStatusPlaying}));
  EXPECT_EQ(noticesOf(player.get()),
            (std::vector<std::string>{"mrtpdcsn", "mrtpdptn", "mrtpdcsn"}));

  ASSERT_EQ(media->players().size(), 1u);
  auto fake = media->players()[0];
  EXPECT_EQ(fake->url(), urlOf("One"));
  ASSERT_TRUE(fake->volumeRamps());
  EXPECT_EQ(*fake->volumeRamps(), (std::vector<MediaVolumeRamp>{{0, 1, 0, 5}, {1, 0, 25, 5}}));
  EXPECT_EQ(fake->rampedTrackIds(), std::vector<int>{1});

  // Already playing at 1.5 s: no second push.
  run(2);
  EXPECT_EQ(fake->count("play"), 1);
  EXPECT_NEAR(player->progress(), 2.0 / 30, 1e-9);

  // The fade-out is announced once less than 5 seconds remain, and once.
  run(23);
  EXPECT_TRUE(events->lines.empty());
  run(0.1);
  EXPECT_EQ(events->lines, std::vector<std::string>{"fading out at 251"});
  EXPECT_TRUE(player->isFadingOut());
  run(1);
  EXPECT_EQ(events->lines.size(), 1u);

  // A rewind clears it: the announcement comes again near the new end.
  player->rewind();
  pump();
  EXPECT_FALSE(player->isFadingOut());
  EXPECT_EQ(fake->calls()[fake->calls().size() - 2], "seek 0");
  run(25.1);
  EXPECT_EQ(events->lines.size(), 2u);
}

TEST_F(TrackPlayerTest, APlayerNotReadyGetsASecondPushAfterOneAndAHalfSeconds) {
  FakeMediaScript slow;
  slow.readyAtOnce = false;
  media->setScript(urlOf("Slow"), slow);
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("Slow", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
  run(1.45);
  EXPECT_EQ(fake->count("play"), 1);
  run(0.1);
  EXPECT_EQ(fake->count("play"), 2);
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
  fake->becomeReady();
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPlaying);
  run(3);
  EXPECT_NEAR(player->currentTime(), 3, 1e-9);
}

TEST_F(TrackPlayerTest, TracksOfFiveSecondsOrLessPlayAtFullVolumeAndFadeOutAtOnce) {
  for (double length : {4.0, 5.0}) {
    SCOPED_TRACE(length);
    FakeMediaScript shortOne;
    shortOne.duration = length;
    const std::string title = "Short" + std::to_string(static_cast<int>(length));
    media->setScript(urlOf(title), shortOne);
    auto events = std::make_shared<TrackEvents>();
    auto player = trackPlayerFor(title, events);
    ASSERT_TRUE(player->play());
    pump();
    run(0.1);
    auto fake = media->playerMadeFor(urlOf(title));
    EXPECT_EQ(fake->count("setVolumeRamps"), 0);
    EXPECT_EQ(events->lines, std::vector<std::string>{"fading out at 1"});
    run(length);
    EXPECT_EQ(player->status(), MRTrackPlayerStatusFinished);
  }
}

TEST_F(TrackPlayerTest, StallsLoadWithLittleBufferedAndPauseWithEnough) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  run(10);

  fake->stall(1.0);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
  // The buffer filling again resumes by itself.
  fake->recover();
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(fake->count("play"), 2);
  run(2);
  EXPECT_NEAR(player->currentTime(), 12, 1e-9);

  fake->stall(3.0);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);

  // An empty buffer shows as loading.
  fake->setPlaybackBufferEmpty(true);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
}

TEST_F(TrackPlayerTest, AListenersPauseHoldsThroughStallsAndTheReturningLink) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  run(5);
  player->pause();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);
  pump();
  EXPECT_EQ(fake->rate(), 0);
  const int plays = fake->count("play");

  fake->stall(1.0);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);
  fake->setPlaybackBufferEmpty(true);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);
  fake->recover();
  pump();
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  pump();
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWiFi);
  pump();
  run(1.5);
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);
  EXPECT_EQ(fake->count("play"), plays);
  EXPECT_NEAR(player->currentTime(), 5, 1e-9);

  player->resume();
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPlaying);
}

TEST_F(TrackPlayerTest, TheReturningLinkRestartsLoadingWhereTheTrackStands) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  run(8);

  // A change between two working links is not a return.
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWired);
  pump();
  EXPECT_EQ(fake->count("seek 8"), 0);

  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  pump();
  fake->stall(0.5);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusLoading);
  const int plays = fake->count("play");
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWiFi);
  pump();
  // Loading: seek only; the data coming back plays it.
  EXPECT_EQ(fake->calls().back(), "seek 8");
  EXPECT_EQ(fake->count("play"), plays);
  fake->recover();
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPlaying);

  // Stalled with enough buffered (shown paused): the link's return plays.
  run(2);
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  pump();
  fake->stall(4.0);
  pump();
  EXPECT_EQ(player->status(), MRTrackPlayerStatusPaused);
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWWAN);
  pump();
  const auto& calls = fake->calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "seek 10");
  EXPECT_EQ(calls.back(), "play");
}

TEST_F(TrackPlayerTest, AtTheEndItFinishesUnloadsAndStartsNothingMore) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  run(30);
  EXPECT_EQ(player->status(), MRTrackPlayerStatusFinished);
  EXPECT_FALSE(fake->isReleased());
  run(0.05);
  EXPECT_TRUE(fake->isReleased());
  EXPECT_TRUE(player->isUnloading());
  EXPECT_EQ(player->player(), nullptr);
  EXPECT_EQ(noticesOf(player.get()).back(), "mrtpdstn");
  EXPECT_EQ(countOf("mrtpdstn"), 1);

  EXPECT_FALSE(player->play());
  EXPECT_EQ(media->players().size(), 1u);
}

TEST_F(TrackPlayerTest, BufferingProgressIsTheFirstRangesEndOverTheDuration) {
  FakeMediaScript streaming;
  streaming.fullyBuffered = false;
  media->setScript(urlOf("One"), streaming);
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  media->players()[0]->setLoadedTimeRanges({{0, 15}, {20, 5}});
  pump();
  EXPECT_FLOAT_EQ(player->bufferingProgress(), 0.5f);
  EXPECT_EQ(events->lines, std::vector<std::string>{"buffered 50%"});
  EXPECT_EQ(countOf("mrtpdcbpn"), 1);
}

TEST_F(TrackPlayerTest, SourcesThatCannotPlayAreReported) {
  // Nothing playable: no media player at all.
  auto bare = std::make_shared<MRPlaylistTrackItem>();
  bare->title = "Bare";
  MRPreviewDataSource unresolved;
  unresolved.sourceID = MRPreviewSourceIDYouTube;
  bare->previewDataSourceSet = {unresolved};
  auto nothing = MRTrackPlayer::initWithTrackItem(parts, bare);
  EXPECT_FALSE(nothing->play());
  EXPECT_TRUE(media->players().empty());
  pump();
  EXPECT_TRUE(posted.empty());

  // Not media, not found, an expired address: the asset fails to load.
  FakeMediaScript notMedia;
  notMedia.assetError = Error("media", 1, "not a media file");
  media->setScript(urlOf("Broken"), notMedia);
  auto events = std::make_shared<TrackEvents>();
  auto broken = trackPlayerFor("Broken", events);
  ASSERT_TRUE(broken->play());
  pump();
  EXPECT_EQ(events->lines, std::vector<std::string>{"failed not a media file"});
  auto fake = media->playerMadeFor(urlOf("Broken"));
  EXPECT_EQ(fake->count("setVolumeRamps"), 0);
  run(30);
  EXPECT_EQ(events->lines.size(), 1u);  // no fade-out check without a length

  // An item that breaks off later: the screen hears of it.
  auto later = trackPlayerFor("Later", events);
  ASSERT_TRUE(later->play());
  pump();
  run(4);
  media->playerMadeFor(urlOf("Later"))->failItem(Error("media", 2, "connection reset"));
  pump();
  EXPECT_EQ(events->lines.back(), "error connection reset");
}

TEST_F(TrackPlayerTest, ReleasingAPlayingTrackPlayerLetsGoOfItsMediaPlayer) {
  auto events = std::make_shared<TrackEvents>();
  auto player = trackPlayerFor("One", events);
  ASSERT_TRUE(player->play());
  pump();
  auto fake = media->players()[0];
  run(3);
  player.reset();
  pump();
  EXPECT_TRUE(fake->isReleased());
  EXPECT_EQ(fake->calls().back(), "pause");
  ASSERT_FALSE(posted.empty());
  EXPECT_EQ(posted.back().name, "mrtpdstn");
  EXPECT_EQ(posted.back().object, nullptr);
  // Its timers no longer reach it.
  run(30);
}

// ---------------------------------------------------------------- a mix

TEST_F(PlaylistPlayerTest, APreviewOf30SecondsCrossFadesIntoTheNextAt25Seconds) {
  auto mix = mixOf({"One", "Two", "Three"});
  auto events = std::make_shared<PlaylistEvents>();
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  player->setDelegate(events);

  ASSERT_TRUE(player->play());  // nothing playing: forward to the first
  pump();
  auto first = player->currentTrackPlayer();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->trackItem(), mix->trackItemForIndex(0));
  EXPECT_EQ(first->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(first->delegate(), player);
  auto firstMedia = media->players()[0];

  run(25);
  EXPECT_EQ(media->players().size(), 1u);
  run(0.1);
  ASSERT_EQ(media->players().size(), 2u);
  auto second = player->currentTrackPlayer();
  EXPECT_EQ(second->trackItem(), mix->trackItemForIndex(1));
  EXPECT_EQ(player->previousTrackPlayer(), first);
  EXPECT_EQ(first->delegate(), nullptr);
  EXPECT_EQ(second->delegate(), player);
  EXPECT_EQ(events->lines, (std::vector<std::string>{"started One", "will finish One",
                                                     "will play Two", "started Two"}));

  // The first goes on under the second, fading, to its end.
  pump();
  EXPECT_EQ(firstMedia->count("pause"), 0);
  EXPECT_EQ(first->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(second->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(*firstMedia->volumeRamps(),
            (std::vector<MediaVolumeRamp>{{0, 1, 0, 5}, {1, 0, 25, 5}}));
  run(4.9);
  EXPECT_EQ(first->status(), MRTrackPlayerStatusFinished);
  run(0.05);
  EXPECT_TRUE(firstMedia->isReleased());
  EXPECT_EQ(noticesOf(first.get()),
            (std::vector<std::string>{"mrtpdcsn", "mrtpdptn", "mrtpdcsn", "mrtpdcsn", "mrtpdstn"}));
  EXPECT_NEAR(second->currentTime(), 4.95, 1e-9);

  // Forward was asked once; the cross-fade itself posts no forward notice.
  EXPECT_EQ(countOf("mrppForward"), 1);
  EXPECT_EQ(countOf("mrtpdptn"), 2);

  // Through to the end of the mix, where nothing more starts.
  run(25.1 + 25.1);
  EXPECT_EQ(media->players().size(), 3u);
  run(5);
  EXPECT_EQ(player->currentTrackPlayer()->status(), MRTrackPlayerStatusFinished);
  EXPECT_EQ(media->players().size(), 3u);
  EXPECT_FALSE(player->forward());
}

TEST_F(PlaylistPlayerTest, BackwardWithinFiveSecondsGoesBackAndLaterRestarts) {
  auto mix = mixOf({"One", "Two", "Three"});
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  ASSERT_TRUE(player->forward());
  pump();
  ASSERT_TRUE(player->forward());
  pump();
  auto two = player->currentTrackPlayer();
  EXPECT_EQ(two->trackItem()->title, "Two");
  // Not fading: the first stopped at once.
  EXPECT_TRUE(media->players()[0]->isReleased());
  EXPECT_EQ(countOf("mrppForward"), 2);

  // 3 seconds in: the previous track.
  run(3);
  ASSERT_TRUE(player->backward());
  pump();
  auto one = player->currentTrackPlayer();
  EXPECT_EQ(one->trackItem()->title, "One");
  EXPECT_NE(one, two);
  EXPECT_TRUE(media->players()[1]->isReleased());
  int backwards = 0;
  for (const auto& notice : posted) {
    if (notice.name != "mrppBackward") continue;
    ++backwards;
    EXPECT_EQ(notice.object, player.get());
    EXPECT_EQ(notice.trackPlayer, one);
  }
  EXPECT_EQ(backwards, 1);

  // 6 seconds in: the same track from its start, without a notice.
  run(6);
  const size_t made = media->players().size();
  ASSERT_TRUE(player->backward());
  pump();
  EXPECT_EQ(player->currentTrackPlayer(), one);
  EXPECT_EQ(media->players().size(), made);
  EXPECT_NEAR(one->currentTime(), 0, 1e-9);
  EXPECT_EQ(countOf("mrppBackward"), 1);

  // The rewind button restarts it too, and says so.
  run(2);
  player->rewind();
  pump();
  EXPECT_NEAR(one->currentTime(), 0, 1e-9);
  ASSERT_EQ(countOf("mrppRewind"), 1);
  for (const auto& notice : posted) {
    if (notice.name == "mrppRewind") {
      EXPECT_EQ(notice.trackPlayer, one);
    }
  }
}

TEST_F(PlaylistPlayerTest, BackwardOnTheFirstTrackAndForwardOnTheLastDoNothing) {
  auto mix = mixOf({"One", "Two"});
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  ASSERT_TRUE(player->forward());
  pump();
  auto one = player->currentTrackPlayer();
  run(2);
  EXPECT_FALSE(player->backward());
  pump();
  EXPECT_EQ(player->currentTrackPlayer(), one);
  EXPECT_EQ(one->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(countOf("mrppBackward"), 0);

  ASSERT_TRUE(player->playWithIndex(1));
  pump();
  auto two = player->currentTrackPlayer();
  EXPECT_FALSE(player->forward());
  EXPECT_FALSE(player->playWithIndex(2));
  pump();
  EXPECT_EQ(player->currentTrackPlayer(), two);
  EXPECT_EQ(two->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(countOf("mrppForward"), 1);
  EXPECT_EQ(media->players().size(), 2u);
}

TEST_F(PlaylistPlayerTest, ADelegateRefusingTheNextTrackLetsTheCurrentOneEnd) {
  auto mix = mixOf({"One", "Two"});
  auto events = std::make_shared<PlaylistEvents>();
  events->acceptNext = false;
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  player->setDelegate(events);
  ASSERT_TRUE(player->forward());
  pump();
  auto one = player->currentTrackPlayer();
  run(30.1);
  EXPECT_EQ(media->players().size(), 1u);
  EXPECT_EQ(player->currentTrackPlayer(), one);
  EXPECT_EQ(one->status(), MRTrackPlayerStatusFinished);
  EXPECT_TRUE(one->isUnloading());
  EXPECT_EQ(events->lines, (std::vector<std::string>{"started One", "will finish One",
                                                     "will play Two (refused)"}));
}

TEST_F(PlaylistPlayerTest, ATrackShorterThanFiveSecondsHandsOverAtOnce) {
  FakeMediaScript shortOne;
  shortOne.duration = 3;
  media->setScript(urlOf("Jingle"), shortOne);
  auto mix = mixOf({"Jingle", "Two"});
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  ASSERT_TRUE(player->forward());
  pump();
  auto jingle = player->currentTrackPlayer();
  run(0.1);
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "Two");
  EXPECT_EQ(player->previousTrackPlayer(), jingle);
  EXPECT_EQ(media->players()[0]->count("setVolumeRamps"), 0);
  run(3);
  EXPECT_TRUE(media->players()[0]->isReleased());
  EXPECT_EQ(player->currentTrackPlayer()->status(), MRTrackPlayerStatusPlaying);
}

TEST_F(PlaylistPlayerTest, AnAssetThatFailsIsStoppedReportedAndTheNextTrackPlays) {
  FakeMediaScript missing;
  missing.assetError = Error("http", 404, "not found");
  media->setScript(urlOf("Gone"), missing);
  auto mix = mixOf({"Gone", "Two"});
  auto events = std::make_shared<PlaylistEvents>();
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  player->setDelegate(events);
  ASSERT_TRUE(player->forward());
  auto gone = player->currentTrackPlayer();
  pump();
  EXPECT_TRUE(gone->isUnloading());
  EXPECT_EQ(gone->delegate(), nullptr);
  EXPECT_TRUE(media->players()[0]->isReleased());
  ASSERT_TRUE(player->currentTrackPlayer());
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "Two");
  EXPECT_EQ(player->currentTrackPlayer()->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(events->lines, (std::vector<std::string>{"started Gone", "failed Gone: not found",
                                                     "will play Two", "started Two"}));
}

TEST_F(PlaylistPlayerTest, AMixOfBadSourcesEndsWithoutHanging) {
  FakeMediaScript missing;
  missing.assetError = Error("http", 403, "expired");
  auto mix = std::make_shared<TestMix>();
  for (const std::string title : {"A", "B", "C"}) {
    media->setScript(urlOf(title), missing);
    mix->add(itemWithPreview(title));
  }
  auto bare = std::make_shared<MRPlaylistTrackItem>();
  bare->title = "Bare";
  mix->add(bare);
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  ASSERT_TRUE(player->forward());
  pump();
  run(2);  // past the second push of each
  EXPECT_EQ(media->players().size(), 3u);
  for (const auto& fake : media->players())
    EXPECT_TRUE(fake->isReleased()) << fake->url();
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "C");
  EXPECT_EQ(testEnv.dispatcher().pendingCount(), 0u);
  EXPECT_FALSE(player->forward());  // past C only the unplayable item is left
}

TEST_F(PlaylistPlayerTest, AStreamThatBreaksOffMidwayGivesWayToTheNextTrack) {
  auto mix = mixOf({"One", "Two"});
  auto events = std::make_shared<PlaylistEvents>();
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  player->setDelegate(events);
  ASSERT_TRUE(player->forward());
  pump();
  auto view = std::make_shared<TrackEvents>();
  auto one = player->currentTrackPlayer();
  one->setViewDelegate(view);
  run(12);
  media->players()[0]->failItem(Error("media", 5, "the stream ended early"));
  pump();
  EXPECT_EQ(view->lines, std::vector<std::string>{"error the stream ended early"});
  EXPECT_TRUE(one->isUnloading());
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "Two");
  EXPECT_EQ(player->currentTrackPlayer()->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(events->lines, (std::vector<std::string>{"started One", "will finish One",
                                                     "will play Two", "started Two"}));
}

TEST_F(PlaylistPlayerTest, AnItemWithoutAPlayableSourceChangesNothing) {
  auto mix = mixOf({"One"});
  auto bare = std::make_shared<MRPlaylistTrackItem>();
  bare->title = "Bare";
  mix->add(bare);
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  ASSERT_TRUE(player->forward());
  pump();
  auto one = player->currentTrackPlayer();
  EXPECT_FALSE(player->forward());
  EXPECT_FALSE(player->playWithTrackItem(bare));
  pump();
  EXPECT_EQ(player->currentTrackPlayer(), one);
  EXPECT_EQ(one->status(), MRTrackPlayerStatusPlaying);
  EXPECT_EQ(countOf("mrppForward"), 1);
}

TEST_F(PlaylistPlayerTest, PauseResumeAndStopReachTheTracksAndPlayStartsAgainAfterStop) {
  auto mix = mixOf({"One", "Two"});
  auto player = MRPlaylistPlayer::create(parts);
  player->setPlaylist(mix);
  EXPECT_FALSE(player->currentTrackPlayer());
  ASSERT_TRUE(player->play());
  pump();
  auto one = player->currentTrackPlayer();
  run(3);
  player->pause();
  pump();
  EXPECT_EQ(one->status(), MRTrackPlayerStatusPaused);
  player->resume();
  pump();
  EXPECT_EQ(one->status(), MRTrackPlayerStatusPlaying);

  // Stopped in the middle of a cross-fade: both fall silent.
  run(22.1);
  auto two = player->currentTrackPlayer();
  ASSERT_NE(two, one);
  player->stop();
  pump();
  EXPECT_TRUE(media->players()[0]->isReleased());
  EXPECT_TRUE(media->players()[1]->isReleased());
  EXPECT_EQ(countOf("mrtpdstn"), 2);

  // Play after stop: the current track again, on a new track player.
  ASSERT_TRUE(player->play());
  pump();
  EXPECT_NE(player->currentTrackPlayer(), two);
  EXPECT_EQ(player->currentTrackPlayer()->trackItem()->title, "Two");
  EXPECT_EQ(player->currentTrackPlayer()->status(), MRTrackPlayerStatusPlaying);
}

TEST_F(PlaylistPlayerTest, TheSharedPlayerIsOneInstanceThatTestsCanReplace) {
  auto mine = MRPlaylistPlayer::create(parts);
  MRPlaylistPlayer::setSharedPlaylistPlayer(mine);
  EXPECT_EQ(MRPlaylistPlayer::sharedPlaylistPlayer(), mine);
  EXPECT_EQ(MRPlaylistPlayer::sharedPlaylistPlayer(), mine);
  EXPECT_FALSE(mine->playlist());
  MRPlaylistPlayer::setSharedPlaylistPlayer(nullptr);
}

}  // namespace
}  // namespace mr
