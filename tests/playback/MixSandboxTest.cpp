// The mix builders against the in-process sandbox: its Last.fm, store and
// video site answer from the made-up catalogue, and the Mirelune service
// records what it is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <set>

#include "base/Json.h"
#include "base/Random.h"
#include "model/CDUtility.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "playback/MRHistoryMix.h"
#include "playback/MRNewReleaseMix.h"
#include "playback/MRSendArtistTopTrackMixOperation.h"
#include "playback/MixWorld.h"
#include "store/CDFavoriteTrack.h"
#include "support/SandboxRecommendParts.h"
#include "support/SandboxSession.h"

namespace mr {
namespace {

using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;
using sandbox::MusicCatalogue;
using sandbox::StoreListing;
using test::RecordingViewDelegate;
using test::titlesOf;

constexpr double kDay = 24 * 60 * 60;

struct SandboxMixTest : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  MRMixParts parts;

  SandboxMixTest() {
    parts.recommend = test::sandboxRecommendParts(testEnv, sandbox, store, network);
    parts.serviceQueue = serviceQueue;
    parts.mirelune = sandbox.mirelune();
    parts.favoriteCacheFolder = testEnv.dir().file("FavoriteTrack");
  }
  // Whatever holds the sandbox's engine lets go before the sandbox stops.
  ~SandboxMixTest() override {
    serviceQueue->cancelAllOperations();
    network->cancelAllOperations();
    testEnv.pumpUntil(
        [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
    testEnv.dispatcher().pump();
    parts = MRMixParts();
  }

  const MusicCatalogue& catalogue() { return sandbox.server().catalogue(); }
  bool run(const std::shared_ptr<MRPlaylistBuildOperation>& mix) {
    mix->loadTracks(*serviceQueue);
    return testEnv.pumpUntil([&mix] { return mix->isFinished(); });
  }
  std::string watchUrl(const CatalogueTrack& track) {
    return sandbox.server().baseUrl() +
           "/watch?v=" + catalogue().videos()[static_cast<size_t>(track.musicVideo)].id;
  }
  bool hasPlayableVideo(const CatalogueTrack& track) {
    return track.musicVideo >= 0 &&
           !catalogue().videos()[static_cast<size_t>(track.musicVideo)].restricted;
  }
  bool hasRestrictedVideo(const CatalogueTrack& track) {
    return track.musicVideo >= 0 &&
           catalogue().videos()[static_cast<size_t>(track.musicVideo)].restricted;
  }
  std::string artistOf(const CatalogueTrack& track) { return catalogue().artistOf(track).name; }

  // A favorite or played track of the catalogue with the given sources.
  std::shared_ptr<MRFavoriteTrackMixTrackItem> itemOf(const CatalogueTrack& track) {
    auto item = std::make_shared<MRFavoriteTrackMixTrackItem>();
    item->title = track.title;
    item->artist = artistOf(track);
    item->imageUrl = "http://art.test/" + std::to_string(track.index) + ".jpg";
    return item;
  }
  MRPreviewDataSource storeSource(const CatalogueTrack& track) {
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDITunes;
    source.previewUrl = sandbox.server().baseUrl() + "/itunes/preview/" +
                        std::to_string(track.storeTrackId) + ".m4a";
    source.additionalInfo = std::make_shared<MRiTunesAdditionalInfo>();
    return source;
  }
  MRPreviewDataSource videoSource(const CatalogueTrack& track) {
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDYouTube;
    auto info = std::make_shared<MRYouTubeAdditionalInfo>();
    info->setLink(watchUrl(track));
    source.additionalInfo = info;
    return source;
  }
  void favorite(const std::shared_ptr<MRPlaylistTrackItem>& item, Date favoritedAt) {
    CDFavoriteTrackEntityController favorites(store.get());
    ASSERT_TRUE(favorites.addWithPlaylistTrack(*item, favoritedAt).ok());
  }

  // Tracks of the catalogue by what the store and the video site have.
  std::vector<const CatalogueTrack*> tracksWhere(
      const std::function<bool(const CatalogueTrack&)>& wanted, size_t count) {
    std::vector<const CatalogueTrack*> found;
    for (const auto& track : catalogue().tracks()) {
      if (found.size() < count && wanted(track)) found.push_back(&track);
    }
    EXPECT_EQ(found.size(), count);
    return found;
  }
};

// ---------------------------------------------------------------- top tracks

// Whether nothing of the artist's other tracks could pass for this one:
// neither the store's search (all words of artist and title) nor a video
// naming artist and title.
bool cannotBeMistaken(const MusicCatalogue& catalogue, const CatalogueArtist& artist,
                      const CatalogueTrack& track) {
  const std::string title = MusicCatalogue::foldName(track.title);
  const auto words = MusicCatalogue::searchWords(artist.name + " " + track.title);
  for (int other : artist.tracks) {
    const CatalogueTrack& candidate = catalogue.tracks()[static_cast<size_t>(other)];
    if (candidate.index == track.index) continue;
    const std::string album = catalogue.albumOf(candidate).title;
    if (MusicCatalogue::foldName(candidate.title).find(title) != std::string::npos ||
        MusicCatalogue::foldName(album).find(title) != std::string::npos) {
      return false;
    }
    const auto listed =
        MusicCatalogue::searchWords(artist.name + " " + candidate.title + " " + album);
    const std::set<std::string> known(listed.begin(), listed.end());
    if (std::all_of(words.begin(), words.end(),
                    [&known](const std::string& word) { return known.count(word) != 0; })) {
      return false;
    }
  }
  return true;
}

TEST_F(SandboxMixTest, TopTracksComeInCompletionOrderWithoutUnplayableOnesAndAreSent) {
  // An artist some of whose tracks have neither a song in the store nor a
  // music video. The sandbox refuses forms over 8 KB, so the one with the
  // shortest mix and biography is taken.
  const CatalogueArtist* artist = nullptr;
  std::set<std::string> songs, silent;
  size_t smallest = std::numeric_limits<size_t>::max();
  for (const auto& candidate : catalogue().artists()) {
    std::set<std::string> itsSongs, itsSilent;
    for (int index : candidate.tracks) {
      const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(index)];
      if (track.store == StoreListing::Song) itsSongs.insert(track.title);
      if (track.store != StoreListing::Song && track.musicVideo < 0 &&
          cannotBeMistaken(catalogue(), candidate, track)) {
        itsSilent.insert(track.title);
      }
    }
    const size_t size = candidate.tracks.size() * 500 + candidate.englishBio.content.size();
    if (!itsSilent.empty() && itsSongs.size() >= 3 && size < smallest) {
      artist = &candidate;
      songs = std::move(itsSongs);
      silent = std::move(itsSilent);
      smallest = size;
    }
  }
  ASSERT_NE(artist, nullptr);

  auto mix = std::make_shared<MRArtistTopTrackMix>(parts, artist->name);
  auto delegate = std::make_shared<RecordingViewDelegate>(testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);

  const auto titles = titlesOf(*mix);
  const std::set<std::string> listed(titles.begin(), titles.end());
  EXPECT_EQ(listed.size(), titles.size());
  EXPECT_LT(titles.size(), artist->tracks.size());
  for (const auto& title : songs)
    EXPECT_EQ(listed.count(title), 1u) << title;
  for (const auto& title : silent)
    EXPECT_EQ(listed.count(title), 0u) << title;
  for (const auto& item : mix->tracks()) {
    EXPECT_EQ(item->artist, artist->name);
    EXPECT_GT(item->numberOfAvailablePreviewData(), 0u) << item->title;
    EXPECT_FALSE(item->imageUrl.empty()) << item->title;
  }
  // Appended one by one as they were ready, on the main thread.
  const auto calls = delegate->calls();
  ASSERT_EQ(calls.size(), titles.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].index, i);
    EXPECT_EQ(calls[i].item->title, titles[i]);
  }
  EXPECT_TRUE(delegate->allOnMainThread());

  // The finished mix reaches the service, with the artist Last.fm knows.
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return !sandbox.server().recordedRequests("/artist_top_track_mix/update").empty() &&
           network->operationCount() == 0;
  }));
  const auto sent = sandbox.server().recordedRequests("/artist_top_track_mix/update");
  ASSERT_EQ(sent.size(), 1u);
  auto shared = parseJson(Value(sent[0].parameters).stringForKey("mix", ""));
  ASSERT_TRUE(shared.ok());
  EXPECT_EQ(shared->stringForKeyPath("artist/name", ""), artist->name);
  const Value* tracks = shared->get("tracks");
  ASSERT_TRUE(tracks && tracks->asArray());
  std::vector<std::string> sentTitles;
  for (const auto& track : *tracks->asArray())
    sentTitles.push_back(track.stringForKey("trackTitle", ""));
  EXPECT_EQ(sentTitles, titles);
}

TEST_F(SandboxMixTest, ATopTrackMixOfAnArtistNobodyKnowsIsEmptyAndNotSent) {
  auto mix = std::make_shared<MRArtistTopTrackMix>(parts, "Nobody Has Heard Of Us");
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(mix->numberOfTracks(), 0u);
  EXPECT_FALSE(mix->lastError());

  // The sending step ends quietly without the artist's information.
  auto send = std::make_shared<MRSendArtistTopTrackMixOperation>(mix);
  send->start();
  EXPECT_FALSE(send->artistInfo());
  EXPECT_FALSE(send->sent());
  EXPECT_TRUE(testEnv.pumpUntil([&] { return network->operationCount() == 0; }));
  EXPECT_TRUE(sandbox.server().recordedRequests("/artist_top_track_mix/update").empty());
}

// ---------------------------------------------------------------- favorites

TEST_F(SandboxMixTest, FavoritesRunNewestFirstWhateverOrderTheyArriveIn) {
  const Date now = testEnv.clock().currentDate();
  const auto songs =
      tracksWhere([](const CatalogueTrack& track) { return track.store == StoreListing::Song; }, 2);
  const auto videos = tracksWhere(
      [this](const CatalogueTrack& track) {
        return track.store != StoreListing::Song && hasPlayableVideo(track);
      },
      1);
  const auto restricted = tracksWhere(
      [this](const CatalogueTrack& track) {
        return track.store != StoreListing::Song && hasRestrictedVideo(track);
      },
      1);
  ASSERT_TRUE(songs.size() == 2 && videos.size() == 1 && restricted.size() == 1);

  // 3, 1 and 2 days ago; the one on video takes longest to be ready.
  auto three = itemOf(*songs[0]);
  three->previewDataSourceSet = {storeSource(*songs[0])};
  favorite(three, now.addingSeconds(-3 * kDay));
  auto one = itemOf(*videos[0]);
  one->previewDataSourceSet = {videoSource(*videos[0])};
  favorite(one, now.addingSeconds(-1 * kDay));
  auto two = itemOf(*songs[1]);
  two->previewDataSourceSet = {storeSource(*songs[1])};
  favorite(two, now.addingSeconds(-2 * kDay));
  // Its video has no streams: it never plays.
  auto mute = itemOf(*restricted[0]);
  mute->previewDataSourceSet = {videoSource(*restricted[0])};
  favorite(mute, now.addingSeconds(-0.5 * kDay));

  auto mix = std::make_shared<MRFavoriteTrackMix>(parts);
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(titlesOf(*mix), (std::vector<std::string>{one->title, two->title, three->title}));
  EXPECT_FLOAT_EQ(mix->progress(), 1.0f);
  const auto first =
      std::dynamic_pointer_cast<MRFavoriteTrackMixTrackItem>(mix->trackItemForIndex(0));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->favoritedAt, now.addingSeconds(-1 * kDay));
  ASSERT_TRUE(first->youTubePreviewDataSource());
  EXPECT_TRUE(first->youTubePreviewDataSource()->hasPreviewUrl());

  // One artist's favorites only.
  auto own = std::make_shared<MRFavoriteTrackMix>(parts, two->artist);
  ASSERT_TRUE(run(own));
  for (const auto& item : own->tracks())
    EXPECT_EQ(item->artist, two->artist);
  EXPECT_GT(own->numberOfTracks(), 0u);
}

TEST_F(SandboxMixTest, ShuffledFavoritesGoWhereTheRandomSourceSays) {
  const Date now = testEnv.clock().currentDate();
  const auto songs = tracksWhere(
      [](const CatalogueTrack& track) { return track.store == StoreListing::Song; }, 12);
  for (size_t i = 0; i < songs.size(); ++i) {
    auto item = itemOf(*songs[i]);
    item->previewDataSourceSet = {storeSource(*songs[i])};
    favorite(item, now.addingSeconds(-static_cast<double>(i) * kDay));
  }
  auto mix = std::make_shared<MRFavoriteTrackMix>(parts);
  mix->setShuffled(true);
  auto delegate = std::make_shared<RecordingViewDelegate>(testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  seedRandom(20130405);
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  ASSERT_EQ(mix->numberOfTracks(), songs.size());

  // Each went to one of the count + 1 places, drawn in turn.
  seedRandom(20130405);
  std::vector<size_t> drawn, placed;
  for (size_t i = 0; i < songs.size(); ++i)
    drawn.push_back(randomIndex(i + 1));
  for (const auto& call : delegate->calls())
    placed.push_back(call.index);
  EXPECT_EQ(placed, drawn);
  std::set<std::string> titles;
  for (const auto* song : songs)
    titles.insert(song->title);
  const auto listed = titlesOf(*mix);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), titles);
}

TEST_F(SandboxMixTest, OfflineACachedFavoriteIsListedAndCancellingEndsAt11WithNothingPending) {
  const Date now = testEnv.clock().currentDate();
  const auto songs =
      tracksWhere([](const CatalogueTrack& track) { return track.store == StoreListing::Song; }, 3);
  auto cached = itemOf(*songs[0]);
  MRPreviewDataSource file;
  file.sourceID = MRPreviewSourceIDLocalCache;
  file.previewUrl =
      "/elsewhere/" + CDUtility::itemHashWithTitle(cached->title, cached->artist) + ".m4a";
  cached->previewDataSourceSet = {storeSource(*songs[0]), file};
  favorite(cached, now.addingSeconds(-3 * kDay));
  for (size_t i = 1; i < songs.size(); ++i) {
    auto item = itemOf(*songs[i]);
    item->previewDataSourceSet = {storeSource(*songs[i])};
    favorite(item, now.addingSeconds(-static_cast<double>(i) * kDay));
  }
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return network->maxConcurrentOperationCount() == 0; }));

  auto mix = std::make_shared<MRFavoriteTrackMix>(parts);
  mix->loadTracks(*serviceQueue);
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return mix->numberOfTracks() == 1 && network->operationCount() == 2 &&
           mix->pendingResolvers() == 2;
  }));
  EXPECT_EQ(mix->trackItemForIndex(0)->title, cached->title);
  EXPECT_EQ(mix->trackItemForIndex(0)->playablePreviewDataSource()->previewUrl,
            "file://localhost" + parts.favoriteCacheFolder + "/" +
                CDUtility::itemHashWithTitle(cached->title, cached->artist) + ".m4a");
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusProcessing);
  EXPECT_EQ(mix->progressMax(), 2u);

  mix->cancel();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return mix->isFinished(); }));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCanceled);
  // Still offline, so only a cancel takes the resolvers off the queue.
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return network->operationCount() == 0 && mix->pendingResolvers() == 0; }));
  EXPECT_EQ(network->maxConcurrentOperationCount(), 0);
  EXPECT_EQ(titlesOf(*mix), std::vector<std::string>{cached->title});
}

// ---------------------------------------------------------------- history

TEST_F(SandboxMixTest, PlayedTracksGoToTheirPlaceInTheHistoryOrTheEnd) {
  const auto songs =
      tracksWhere([](const CatalogueTrack& track) { return track.store == StoreListing::Song; }, 4);
  const auto videos = tracksWhere(
      [this](const CatalogueTrack& track) {
        return track.store != StoreListing::Song && hasPlayableVideo(track);
      },
      3);
  const auto restricted = tracksWhere(
      [this](const CatalogueTrack& track) {
        return track.store != StoreListing::Song && hasRestrictedVideo(track);
      },
      1);
  ASSERT_TRUE(songs.size() == 4 && videos.size() == 3 && restricted.size() == 1);
  // Newest first: song, video, song, video, restricted, song, video, song.
  std::vector<std::pair<const CatalogueTrack*, MRPreviewDataSource>> played = {
      {songs[0], storeSource(*songs[0])},           {videos[0], videoSource(*videos[0])},
      {songs[1], storeSource(*songs[1])},           {videos[1], videoSource(*videos[1])},
      {restricted[0], videoSource(*restricted[0])}, {songs[2], storeSource(*songs[2])},
      {videos[2], videoSource(*videos[2])},         {songs[3], storeSource(*songs[3])}};
  std::map<std::string, size_t> positions;  // by title and artist
  const Date now = testEnv.clock().currentDate();
  {
    CDPlayHistoryTrackEntityController history(store.get());
    CDPreviewDataSourceEntityController sources(history.context());
    for (size_t i = 0; i < played.size(); ++i) {
      auto record = history.insertNewObject();
      record->setTitle(played[i].first->title);
      record->setArtist(artistOf(*played[i].first));
      record->setPlayedAt(now.addingSeconds(-static_cast<double>(i) * 60));
      auto source = sources.insertNewObject();
      assignPreviewDataSourceToManagedObject(played[i].second, *source);
      source->setPlayedTrackHistory(record.get());
      positions[played[i].first->title + "|" + artistOf(*played[i].first)] = i;
    }
    ASSERT_TRUE(history.save().ok());
  }

  auto mix = std::make_shared<MRHistoryMix>(parts);
  auto delegate = std::make_shared<RecordingViewDelegate>(testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(mix->numberOfTracks(), played.size() - 1);
  const auto calls = delegate->calls();
  ASSERT_EQ(calls.size(), played.size() - 1);
  for (const auto& call : calls) {
    EXPECT_NE(call.item->title, restricted[0]->title);
    EXPECT_EQ(call.index,
              std::min(positions.at(call.item->title + "|" + call.item->artist), call.countBefore))
        << call.item->title;
    EXPECT_GT(call.item->numberOfAvailablePreviewData(), 0u);
  }
  EXPECT_TRUE(delegate->allOnMainThread());
  EXPECT_FLOAT_EQ(mix->progress(), 1.0f);
}

// ---------------------------------------------------------------- new releases

TEST_F(SandboxMixTest, AReleaseListsItsSongsInAlbumOrder) {
  const sandbox::CatalogueAlbum* album = nullptr;
  for (const auto& candidate : catalogue().albums()) {
    if (candidate.storeCollectionId == 0 || candidate.tracks.size() < 3) continue;
    const bool mixed = std::any_of(candidate.tracks.begin(), candidate.tracks.end(), [&](int t) {
      return catalogue().tracks()[static_cast<size_t>(t)].store != StoreListing::Song;
    });
    if (mixed) {
      album = &candidate;
      break;
    }
  }
  ASSERT_NE(album, nullptr);
  std::vector<std::string> expected;
  for (int t : album->tracks) {
    const auto& track = catalogue().tracks()[static_cast<size_t>(t)];
    if (track.store == StoreListing::Song) expected.push_back(track.title);
  }
  const std::string artist = catalogue().artists()[static_cast<size_t>(album->artist)].name;

  auto mix = std::make_shared<MRNewReleaseMix>(
      parts, MRNewReleaseMix::Release{static_cast<uint64_t>(album->storeCollectionId), artist,
                                      album->title});
  auto delegate = std::make_shared<RecordingViewDelegate>(testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  ASSERT_TRUE(run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(titlesOf(*mix), expected);
  EXPECT_EQ(delegate->calls().size(), expected.size());
  for (const auto& item : mix->tracks()) {
    const auto song = std::dynamic_pointer_cast<MRNewReleaseMixTrackItem>(item);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->album, album->title);
    EXPECT_EQ(song->artist, artist);
    EXPECT_TRUE(song->releaseDate);
    ASSERT_EQ(song->previewDataSourceSet.size(), 1u);
    EXPECT_EQ(song->previewDataSourceSet[0].sourceID, MRPreviewSourceIDITunes);
    EXPECT_TRUE(song->previewDataSourceSet[0].hasPreviewUrl());
  }
}

}  // namespace
}  // namespace mr
