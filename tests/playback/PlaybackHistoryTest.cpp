// Playback history: a started track leaves the recommendations, enters the
// local history with its sources, and reaches the service with the mix's
// class name (against the in-process sandbox).
#include <gtest/gtest.h>

#include <mutex>

#include "base/Json.h"
#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperationQueue.h"
#include "model/CDUtility.h"
#include "playback/MRPlaybackHistoryObserver.h"
#include "playback/MRPlaylistPlayer.h"
#include "recommend/MRRecommendMix.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDRecommendTrack.h"
#include "support/FakeMediaPlayer.h"
#include "support/RawServer.h"
#include "support/SandboxSession.h"
#include "support/StoreFaults.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// Stands for the recommend mix build, so a queued build shows.
class MixBuildStandIn final : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {}
};

class TestMix : public MRPlaylist {
 public:
  void add(std::shared_ptr<MRPlaylistTrackItem> item) { appendTrack(std::move(item)); }
};
// Named as the mix the service is told about.
class MRArtistTopTrackMix final : public TestMix {};

std::shared_ptr<MRFavoriteTrackMixTrackItem> itemOf(const std::string& title,
                                                    const std::string& artist) {
  auto item = std::make_shared<MRFavoriteTrackMixTrackItem>();
  item->title = title;
  item->artist = artist;
  item->imageUrl = "http://art.test/" + CDUtility::normalize(title) + ".jpg";
  MRPreviewDataSource preview;
  preview.sourceID = MRPreviewSourceIDITunes;
  preview.previewUrl = "http://audio.test/" + CDUtility::normalize(title) + ".m4a";
  preview.locatedAt = Date{1600000000.0};
  auto info = std::make_shared<MRiTunesAdditionalInfo>();
  info->setTrackViewUrl("http://store.test/" + CDUtility::normalize(title));
  info->setTrackId(4711);
  preview.additionalInfo = info;
  item->previewDataSourceSet = {preview};
  return item;
}

std::string parameter(const sandbox::SandboxServer::RecordedRequest& request,
                      const std::string& key) {
  return Value(request.parameters).stringForKey(key, "(none)");
}

// The kind the observer is told to ask for when recommendations run low.
inline constexpr MRServiceOperationKind kBuildKind{"Build"};

struct HistoryFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<test::FakeMediaPlayerFactory> media =
      std::make_shared<test::FakeMediaPlayerFactory>(testEnv.clock(), testEnv.dispatcher());
  std::shared_ptr<NotificationCenter> notices =
      std::make_shared<NotificationCenter>(testEnv.dispatcher());
  std::shared_ptr<MRPlaylistPlayer> playlistPlayer =
      MRPlaylistPlayer::create(MRPlayerParts{&testEnv.env(), media, notices});
  std::atomic<int> builds{0};
  std::string language = "en";
  std::mutex mutex;
  std::vector<std::shared_ptr<MRRecordPlaybackHistoryOperation>> submitted;
  std::shared_ptr<MRPlaybackHistoryObserver> observer;

  HistoryFixture() {
    const Env& env = testEnv.env();
    serviceQueue->registerKind<MixBuildStandIn>(kBuildKind, [this, &env] {
      ++builds;
      return std::make_shared<MixBuildStandIn>(env);
    });
  }
  ~HistoryFixture() override {
    observer.reset();
    for (auto& record : reports())
      record->cancel();
    network->cancelAllOperations();
    testEnv.pumpUntil([this] { return network->operationCount() == 0; });
    serviceQueue->waitUntilAllOperationsAreFinished();
  }

  MRRecommendParts recommendParts(std::shared_ptr<LastfmAPI> lastfm = nullptr) {
    MRRecommendParts parts;
    parts.env = &testEnv.env();
    parts.store = store;
    parts.networkQueue = network;
    parts.lastfm = std::move(lastfm);
    parts.language = [this] { return language; };
    return parts;
  }
  void observe(std::shared_ptr<MRAPIBase> mirelune = nullptr,
               std::shared_ptr<LastfmAPI> lastfm = nullptr) {
    MRPlaybackHistoryObserver::Parts parts;
    parts.recommend = recommendParts(std::move(lastfm));
    parts.mirelune = std::move(mirelune);
    parts.serviceQueue = serviceQueue;
    parts.recommendMixBuildKind = kBuildKind;
    parts.notifications = notices;
    parts.playlistPlayer = [this] { return playlistPlayer; };
    parts.onSubmit = [this](std::shared_ptr<MRRecordPlaybackHistoryOperation> record) {
      std::lock_guard guard(mutex);
      submitted.push_back(std::move(record));
    };
    observer = MRPlaybackHistoryObserver::create(std::move(parts));
  }
  std::vector<std::shared_ptr<MRRecordPlaybackHistoryOperation>> reports() {
    std::lock_guard guard(mutex);
    return submitted;
  }

  // Starts the item on the playlist player and lets the local recording end.
  void play(const std::shared_ptr<MRPlaylistTrackItem>& item) {
    ASSERT_TRUE(playlistPlayer->playWithTrackItem(item));
    settle();
  }
  void settle() {
    testEnv.dispatcher().pump();
    testEnv.pool().waitIdle();
    testEnv.dispatcher().pump();
  }

  void storeArtist(const std::string& name) {
    LastfmArtist artist;
    artist.name = name;
    CDArtistEntityController artists(store.get());
    artists.insertNewObjectWithLastfmArtist(artist);
    ASSERT_TRUE(artists.save().ok());
  }
  void storeRecommendation(const std::string& title, const std::string& artistName) {
    auto context = store->newContext();
    CDArtistEntityController artists(context);
    CDRecommendTrackEntityController tracks(context);
    auto track = tracks.insertNewObject();
    track->setArtist(artists.findWithArtistName(artistName).get());
    track->setTitle(title);
    track->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*track));
    ASSERT_TRUE(tracks.save().ok());
  }
  int64_t recommendations() {
    return CDRecommendTrackEntityController(store.get()).countAllItems();
  }
  // The records stay readable while the controller that found them lives.
  std::vector<std::shared_ptr<CDPlayHistoryTrack>> history() {
    historyReader = std::make_shared<CDPlayHistoryTrackEntityController>(store.get());
    return historyReader->findNewerTracksWithCount(100);
  }
  std::shared_ptr<CDPlayHistoryTrackEntityController> historyReader;
};

using PlaybackHistoryTest = HistoryFixture;

TEST_F(PlaybackHistoryTest, EachStartedTrackLeavesTheRecommendationsAndABuildIsQueuedBelow30) {
  observe();
  storeArtist("Known Band");
  for (int i = 0; i < 30; ++i)
    storeRecommendation("Song " + std::to_string(i), "Known Band");

  // From the favorites mix, spelt differently: the same track by its hash.
  play(itemOf("song  0", "KNOWN BAND"));
  EXPECT_EQ(recommendations(), 29);
  EXPECT_FALSE(CDRecommendTrackEntityController(store.get())
                   .findWithItemHash(CDUtility::itemHashWithTitle("Song 0", "Known Band")));
  EXPECT_EQ(builds, 1);

  // 31 stored: playing one leaves 30, and no build is queued.
  storeRecommendation("Song 30", "Known Band");
  storeRecommendation("Song 31", "Known Band");
  serviceQueue->waitUntilAllOperationsAreFinished();
  play(itemOf("Song 1", "Known Band"));
  EXPECT_EQ(recommendations(), 30);
  EXPECT_EQ(builds, 1);

  // A track that was never recommended still counts what is left.
  play(itemOf("Elsewhere", "Other Band"));
  EXPECT_EQ(recommendations(), 30);
  EXPECT_EQ(builds, 1);
}

TEST_F(PlaybackHistoryTest, EachStartIsRecordedLocallyWithCopiesOfItsSources) {
  observe();
  auto item = itemOf("Night Drive", "The Lamps");
  MRPreviewDataSource video;
  video.sourceID = MRPreviewSourceIDYouTube;
  video.previewUrl = "http://video.test/stream/abc";
  auto info = std::make_shared<MRYouTubeAdditionalInfo>();
  info->setVideoID("abc");
  info->setIsRestricted(false);
  video.additionalInfo = info;
  item->previewDataSourceSet.push_back(video);
  testEnv.clock().setDate(Date{1700000123.0});

  play(item);
  auto records = history();
  ASSERT_EQ(records.size(), 1u);
  const auto& played = *records[0];
  EXPECT_EQ(played.title(), "Night Drive");
  EXPECT_EQ(played.artist(), "The Lamps");
  EXPECT_EQ(played.imageUrl(), item->imageUrl);
  EXPECT_EQ(played.itemHash(), CDUtility::itemHashWithTitle("Night Drive", "The Lamps"));
  ASSERT_TRUE(played.playedAt());
  EXPECT_DOUBLE_EQ(played.playedAt()->secondsSince1970, 1700000123.0);

  auto sources = played.previewDataSourceSet();
  ASSERT_EQ(sources.size(), 2u);
  std::map<MRPreviewSourceID, MRPreviewDataSource> byId;
  for (const auto& stored : sources) {
    auto source = previewDataSourceWithManagedObject(*stored, testEnv.dir().path());
    byId[source.sourceID] = source;
  }
  EXPECT_EQ(byId[MRPreviewSourceIDITunes].previewUrl, item->previewDataSourceSet[0].previewUrl);
  EXPECT_DOUBLE_EQ(byId[MRPreviewSourceIDITunes].locatedAt->secondsSince1970, 1600000000.0);
  auto iTunes = std::dynamic_pointer_cast<MRiTunesAdditionalInfo>(
      byId[MRPreviewSourceIDITunes].additionalInfo);
  ASSERT_TRUE(iTunes);
  EXPECT_EQ(iTunes->trackId(), 4711);
  auto stream = std::dynamic_pointer_cast<MRYouTubeAdditionalInfo>(
      byId[MRPreviewSourceIDYouTube].additionalInfo);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->videoID(), "abc");
  EXPECT_EQ(byId[MRPreviewSourceIDYouTube].previewUrl, "http://video.test/stream/abc");

  // A rewind is no new start; playing it again is.
  playlistPlayer->rewind();
  settle();
  EXPECT_EQ(history().size(), 1u);
  play(item);
  EXPECT_EQ(history().size(), 2u);

  // No mix attached: kept here, not sent.
  EXPECT_TRUE(reports().empty());
}

TEST_F(PlaybackHistoryTest, AFullDiskLosesTheLocalRecordAndNothingElse) {
  observe();
  playlistPlayer->setPlaylist(std::make_shared<MRArtistTopTrackMix>());
  auto item = itemOf("Long Story", "Band");
  item->imageUrl = "http://art.test/" + std::string(20000, 'x');  // needs new pages
  test::fillDisk(*store);
  play(item);
  EXPECT_TRUE(history().empty());
  EXPECT_EQ(reports().size(), 1u);  // the service still hears of it

  test::freeDisk(*store);
  play(item);
  ASSERT_EQ(history().size(), 1u);
  EXPECT_EQ(history()[0]->imageUrl(), item->imageUrl);
  EXPECT_EQ(reports().size(), 2u);
}

TEST_F(PlaybackHistoryTest, TheObserverIsSharedOnceMade) {
  EXPECT_FALSE(MRPlaybackHistoryObserver::sharedObserver());
  MRPlaybackHistoryObserver::Parts parts;
  parts.recommend = recommendParts();
  parts.notifications = notices;
  parts.playlistPlayer = [this] { return playlistPlayer; };
  auto made = MRPlaybackHistoryObserver::sharedObserver(parts);
  ASSERT_TRUE(made);
  EXPECT_EQ(MRPlaybackHistoryObserver::sharedObserver(parts), made);
  EXPECT_EQ(MRPlaybackHistoryObserver::sharedObserver(), made);
  MRPlaybackHistoryObserver::setSharedObserver(nullptr);
  made.reset();

  // Once gone it follows nothing.
  play(itemOf("After", "Band"));
  EXPECT_TRUE(history().empty());
}

// ---------------------------------------------------------------- the service

struct ServiceHistoryTest : HistoryFixture {
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<LastfmAPI> lastfm = std::make_shared<LastfmAPI>(
      testEnv.env(), sandbox.engine(), sandbox.server().baseUrl(), sandbox.server().lastfmApiKey());

  // Whatever holds the sandbox's engine lets go first: an engine that lives
  // on keeps its connections open, and the sandbox waits for them to time
  // out before it stops.
  ~ServiceHistoryTest() override {
    observer.reset();
    playlistPlayer->setPlaylist(nullptr);
    for (auto& record : reports())
      record->cancel();
    network->cancelAllOperations();
    testEnv.pumpUntil([this] { return network->operationCount() == 0; });
    std::lock_guard guard(mutex);
    submitted.clear();
    lastfm.reset();
  }

  // A track of the sandbox's catalogue, which its Last.fm knows.
  std::shared_ptr<MRFavoriteTrackMixTrackItem> catalogueItem(size_t index) {
    const auto& catalogue = sandbox.server().catalogue();
    const auto& track = catalogue.tracks().at(index);
    return itemOf(track.title, catalogue.artistOf(track).name);
  }
  std::shared_ptr<MRRecordPlaybackHistoryOperation> reportOf(size_t index) {
    EXPECT_TRUE(testEnv.pumpUntil([&] {
      auto all = reports();
      return all.size() > index && all[index]->isFinished();
    }));
    return reports().at(index);
  }
};

TEST_F(ServiceHistoryTest, EachStartIsReportedWithTheClassNameOfItsMix) {
  language = "ja";
  observe(sandbox.mirelune(), lastfm);
  MRRecommendParts parts = recommendParts(lastfm);
  auto mix = std::make_shared<MRRecommendMix>(parts, nullptr);
  playlistPlayer->setPlaylist(mix);

  auto item = catalogueItem(0);
  play(item);
  auto report = reportOf(0);
  EXPECT_TRUE(report->recorded());
  EXPECT_EQ(report->subjectPlaylistName(), "MRRecommendMix");
  ASSERT_TRUE(report->artistInfo());
  EXPECT_EQ(report->artistInfo()->name, item->artist);
  EXPECT_TRUE(report->wtid());
  EXPECT_TRUE(report->waid());

  auto updates = sandbox.server().recordedRequests("/track/update_with_artist");
  ASSERT_EQ(updates.size(), 1u);
  auto artist = parseJson(parameter(updates[0], "artist"));
  ASSERT_TRUE(artist.ok());
  EXPECT_EQ(artist->stringForKey("name", ""), item->artist);
  EXPECT_EQ(artist->stringForKey("bioLanguage", ""), "ja");
  auto track = parseJson(parameter(updates[0], "track"));
  ASSERT_TRUE(track.ok());
  EXPECT_EQ(track->stringForKey("trackTitle", ""), item->title);
  auto added = sandbox.server().recordedRequests("/playback_history/add");
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(parameter(added[0], "playlistName"), "MRRecommendMix");
  EXPECT_EQ(parameter(added[0], "trackTitle"), item->title);
  EXPECT_EQ(parameter(added[0], "artistName"), item->artist);
  EXPECT_EQ(parameter(added[0], "artworkUrl"), item->imageUrl);

  // Another mix, another name.
  auto topTracks = std::make_shared<MRArtistTopTrackMix>();
  playlistPlayer->setPlaylist(topTracks);
  play(catalogueItem(1));
  EXPECT_TRUE(reportOf(1)->recorded());
  const auto history = sandbox.server().playbackHistory(sandbox.accountId());
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].stringForKey("playlistName", ""), "MRRecommendMix");
  EXPECT_EQ(history[1].stringForKey("playlistName", ""), "MRArtistTopTrackMix");
}

TEST_F(ServiceHistoryTest, AnArtistNobodyKnowsIsKeptLocallyButNotSent) {
  observe(sandbox.mirelune(), lastfm);
  playlistPlayer->setPlaylist(std::make_shared<MRArtistTopTrackMix>());
  play(itemOf("Some Song", "Nobody Knows This Band"));
  auto report = reportOf(0);
  EXPECT_FALSE(report->recorded());
  EXPECT_FALSE(report->artistInfo());
  EXPECT_TRUE(sandbox.server().recordedRequests("/track/update_with_artist").empty());
  EXPECT_TRUE(sandbox.server().recordedRequests("/playback_history/add").empty());
  EXPECT_EQ(history().size(), 1u);
}

TEST_F(ServiceHistoryTest, AServiceThatNeverAnswersIsLeftOnCancelOrAtTheDeadline) {
  test::RawServer silent("", true);
  auto unanswering = std::make_shared<MRAPIBase>(testEnv.env(), sandbox.engine(), silent.url(""));
  observe(unanswering, lastfm);
  playlistPlayer->setPlaylist(std::make_shared<MRArtistTopTrackMix>());

  // Cancelled while it waits for the track update.
  play(catalogueItem(2));
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return silent.connections() >= 1 && testEnv.clock().waiterCount() > 0; }));
  auto first = reports().at(0);
  EXPECT_FALSE(first->isFinished());
  first->cancel();
  EXPECT_TRUE(testEnv.pumpUntil([&] { return first->isFinished(); }));
  EXPECT_FALSE(first->recorded());
  EXPECT_TRUE(first->artistInfo());
  EXPECT_FALSE(first->wtid());

  // Left alone, it gives up at its deadline.
  play(catalogueItem(3));
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return silent.connections() >= 2 && testEnv.clock().waiterCount() > 0; }));
  auto second = reports().at(1);
  testEnv.clock().advance(seconds(MRRecordPlaybackHistoryOperation::kStepDeadlineSeconds + 1));
  EXPECT_TRUE(testEnv.pumpUntil([&] { return second->isFinished(); }));
  EXPECT_FALSE(second->recorded());
  EXPECT_EQ(history().size(), 2u);
}

}  // namespace
}  // namespace mr
