// The mix builders against a loopback world whose answers the tests hold
// and release, so the order in which tracks become playable is theirs.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "base/Json.h"
#include "model/CDUtility.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRBuildPlaylistFromLastfmTracksOperation.h"
#include "playback/MRHistoryMix.h"
#include "playback/MRNewReleaseMix.h"
#include "playback/MRSimilarTrackMix.h"
#include "playback/MixWorld.h"
#include "store/CDFavoriteTrack.h"

namespace mr {
namespace {

using test::MixWorld;
using test::RecordingViewDelegate;
using test::titlesOf;

const MRPreviewDataSource* sourceOf(const MRPlaylistTrackItem& item, MRPreviewSourceID id) {
  return item.previewDataSourceForSourceId(id);
}

std::shared_ptr<MRPlaylistTrackItem> itemTitled(const MRPlaylist& mix, const std::string& title) {
  for (const auto& item : mix.tracks()) {
    if (item->title == title) return item;
  }
  return nullptr;
}

// Stands for the recommend mix build: it runs until it is cancelled.
class BuildStandIn final : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {
    setStatus(kMRServiceOperationStatusProcessing);
    waitFor(env().clock(), kNoDeadline, [] { return false; });
    setStatus(kMRServiceOperationStatusCompleted);
  }
};

// ---------------------------------------------------------------- Last.fm tracks

TEST(LastfmTrackMixTest, ItemsComeAsTheyBecomePlayableAndTheUnplayableAreLeftOut) {
  MixWorld world;
  world.setTopTracks("The Band", {
                                     {"Slow Song", "The Band"},
                                     {"Quick Song", "The Band"},
                                     {"Nowhere To Hear", "The Band", false},
                                     {"Only On Video", "The Band", false, true},
                                     // Found, and playable, but nothing to show for it.
                                     {"Faceless Video", "The Band", false, true, false},
                                 });
  world.hold("Slow Song");
  auto mix = std::make_shared<MRArtistTopTrackMix>(world.parts, "The Band");
  auto delegate = std::make_shared<RecordingViewDelegate>(world.testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  mix->loadTracks(*world.serviceQueue);

  // The first of Last.fm's list is still being looked for: the others are
  // listed meanwhile.
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->numberOfTracks() == 2; }));
  auto early = titlesOf(*mix);
  std::sort(early.begin(), early.end());
  EXPECT_EQ(early, (std::vector<std::string>{"Only On Video", "Quick Song"}));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusProcessing);

  world.release("Slow Song");
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->isFinished(); }));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  const auto titles = titlesOf(*mix);
  ASSERT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles.back(), "Slow Song");
  EXPECT_GT(mix->progress(), 0.0f);

  // Each was appended, on the main thread, in the order of the list.
  const auto calls = delegate->calls();
  ASSERT_EQ(calls.size(), 3u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].index, i);
    EXPECT_EQ(calls[i].item, mix->trackItemForIndex(i));
  }
  EXPECT_TRUE(delegate->allOnMainThread());

  // A song shows the store's artwork; a video Last.fm's largest image; the
  // video's stream was read before it was listed.
  const auto slow = itemTitled(*mix, "Slow Song");
  EXPECT_EQ(slow->artist, "The Band");
  EXPECT_EQ(slow->imageUrl,
            "http://art.test/" + CDUtility::itemHashWithTitle("Slow Song", "") + "/200x200bb.jpg");
  ASSERT_TRUE(sourceOf(*slow, MRPreviewSourceIDITunes));
  const auto video = itemTitled(*mix, "Only On Video");
  EXPECT_EQ(video->imageUrl,
            "http://img.test/300/" + CDUtility::itemHashWithTitle("Only On Video", "") + ".png");
  ASSERT_TRUE(sourceOf(*video, MRPreviewSourceIDYouTube));
  EXPECT_EQ(sourceOf(*video, MRPreviewSourceIDYouTube)->previewUrl,
            MixWorld::streamUrl("Only On Video"));
  EXPECT_EQ(world.requestsFor("/watch"), 1);  // not for the faceless one

  // Last.fm was asked for 80 tracks of the first page, autocorrected.
  for (const auto& request : world.requests()) {
    if (request.path != "/2.0/") continue;
    EXPECT_EQ(request.query.at("method"), "artist.getTopTracks");
    EXPECT_EQ(request.query.at("limit"), "80");
    EXPECT_EQ(request.query.at("page"), "1");
    EXPECT_EQ(request.query.at("autocorrect"), "1");
  }
  EXPECT_EQ(world.requestsFor("artist.getTopTracks"), 1);
}

TEST(LastfmTrackMixTest, TheBuildWaitsThirtySecondsForEachPendingStepThenDropsThem) {
  MixWorld world;
  world.testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  ASSERT_TRUE(
      world.testEnv.pumpUntil([&] { return world.network->maxConcurrentOperationCount() == 0; }));
  std::vector<LastfmTrack> tracks(3);
  for (size_t i = 0; i < tracks.size(); ++i) {
    tracks[i].name = "Song " + std::to_string(i);
    tracks[i].artistName = "Band";
  }
  auto build =
      std::make_shared<MRBuildPlaylistFromLastfmTracksOperation>(world.parts.recommend, tracks);
  int listed = 0;
  build->setProgressBlock([&listed](const std::shared_ptr<MRPlaylistTrackItem>&) { ++listed; });
  auto queue = std::make_shared<OperationQueue>("test", 1);
  queue->addOperation(build);
  ASSERT_TRUE(world.testEnv.pumpUntil([&] {
    return world.network->operationCount() == 3 && world.testEnv.clock().waiterCount() > 0;
  }));

  // Offline, the three finders never start. A minute is not 90 seconds.
  world.testEnv.clock().advance(seconds(60));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(build->isFinished());
  EXPECT_EQ(build->status(), kMRServiceOperationStatusProcessing);

  world.testEnv.clock().advance(seconds(30));
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return build->isFinished(); }));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusCompleted);
  // What was still pending was cancelled and left the queue.
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return world.network->operationCount() == 0; }));
  EXPECT_EQ(listed, 0);
  EXPECT_TRUE(world.requests().empty());
}

TEST(LastfmTrackMixTest, ArtworkIsTheStoresElseLastfmsLargestOfThree) {
  LastfmTrack track;
  EXPECT_FALSE(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {}));
  track.imageUrl = LastfmImageUrl();
  track.imageUrl->small = "s";
  track.imageUrl->mega = "xxl";
  EXPECT_FALSE(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {}));
  track.imageUrl->medium = "m";
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {}), "m");
  track.imageUrl->large = "l";
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {}), "l");
  track.imageUrl->extraLarge = "xl";
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {}), "xl");

  MRPreviewDataSource video;
  video.sourceID = MRPreviewSourceIDYouTube;
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {video}), "xl");
  MRPreviewDataSource song;
  song.sourceID = MRPreviewSourceIDITunes;
  auto info = std::make_shared<MRiTunesAdditionalInfo>();
  info->setArtworkUrl100("http://art.test/100x100bb.jpg");
  song.additionalInfo = info;
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {video, song}),
            "http://art.test/100x100bb.jpg");
  info->setArtworkUrl200("http://art.test/200x200bb.jpg");
  EXPECT_EQ(MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(track, {song}),
            "http://art.test/200x200bb.jpg");
}

TEST(LastfmTrackMixTest, AFailureOrNothingFromLastfmIsAnEmptyMixAndOnlySimilarKeepsTheError) {
  MixWorld world;
  auto top = std::make_shared<MRArtistTopTrackMix>(world.parts, "Nobody Knows");
  ASSERT_TRUE(world.run(top));
  EXPECT_EQ(top->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(top->numberOfTracks(), 0u);
  EXPECT_FALSE(top->lastError());

  auto similar = std::make_shared<MRSimilarTrackMix>(world.parts, "Nobody Knows", "Nothing");
  ASSERT_TRUE(world.run(similar));
  EXPECT_EQ(similar->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(similar->numberOfTracks(), 0u);
  ASSERT_TRUE(similar->lastError());
  EXPECT_EQ(similar->lastError()->domain(), kLastfmErrorDomain);
  EXPECT_EQ(similar->lastError()->code(), 6);

  world.setSimilar("Lonely", "Band", {});
  auto alone = std::make_shared<MRSimilarTrackMix>(world.parts, "Band", "Lonely");
  ASSERT_TRUE(world.run(alone));
  EXPECT_EQ(alone->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(alone->numberOfTracks(), 0u);
  EXPECT_FALSE(alone->lastError());
  // Nothing to look for: no store or video request at all.
  EXPECT_EQ(world.requestsFor("/search"), 0);
}

TEST(SimilarTrackMixTest, ARunningRecommendBuildStandsAsideAndIsAskedForAgainAfterwards) {
  MixWorld world;
  std::atomic<int> builds{0};
  const Env& env = world.testEnv.env();
  constexpr MRServiceOperationKind buildKind{"Build"};
  world.serviceQueue->registerKind<BuildStandIn>(buildKind, [&builds, &env] {
    ++builds;
    return std::make_shared<BuildStandIn>(env);
  });
  world.parts.recommendMixBuildKind = buildKind;
  auto running = world.serviceQueue->addOperationOfKind(buildKind);
  ASSERT_TRUE(running);
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return running->isExecuting(); }));

  world.setSimilar("Seed Song", "Seed Band",
                   {{"Alike", "Other Band"}, {"Also Alike", "Third Band", false, true}});
  world.hold("Alike");
  auto mix = std::make_shared<MRSimilarTrackMix>(world.parts, "Seed Band", "Seed Song");
  mix->loadTracks(*world.serviceQueue);
  // Stopped while the mix is being built.
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return running->isFinished(); }));
  EXPECT_TRUE(running->isCancelled());
  EXPECT_FALSE(mix->isFinished());
  EXPECT_EQ(builds, 1);

  world.release("Alike");
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->isFinished(); }));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(mix->numberOfTracks(), 2u);
  EXPECT_EQ(builds, 2);
  auto again = world.serviceQueue->operationRunningForKind(buildKind);
  ASSERT_TRUE(again);
  EXPECT_NE(again, running);

  // Last.fm was asked for 50 tracks like the seed, autocorrected.
  for (const auto& request : world.requests()) {
    if (request.path != "/2.0/") continue;
    EXPECT_EQ(request.query.at("method"), "track.getSimilar");
    EXPECT_EQ(request.query.at("track"), "Seed Song");
    EXPECT_EQ(request.query.at("artist"), "Seed Band");
    EXPECT_EQ(request.query.at("limit"), "50");
    EXPECT_EQ(request.query.at("autocorrect"), "1");
  }
}

TEST(SimilarTrackMixTest, ACancelledMixEndsAt11AndStopsLookingForItsTracks) {
  MixWorld world;
  world.setSimilar("Seed", "Band", {{"Held", "Band"}, {"Also Held", "Band"}});
  world.hold("Held");
  world.hold("Also Held");
  auto mix = std::make_shared<MRSimilarTrackMix>(world.parts, "Band", "Seed");
  mix->loadTracks(*world.serviceQueue);
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return world.requestsFor("/search") == 2; }));
  mix->cancel();
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->isFinished(); }));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCanceled);
  EXPECT_FALSE(mix->lastError());
  // The finders gave up their held requests.
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return world.network->operationCount() == 0; }));
  world.releaseAll();
  world.testEnv.dispatcher().pump();
  EXPECT_EQ(mix->numberOfTracks(), 0u);
}

// ---------------------------------------------------------------- history

void addHistory(Database& store, const std::string& title, const std::string& artist, Date playedAt,
                const std::vector<MRPreviewDataSource>& sources) {
  CDPlayHistoryTrackEntityController history(&store);
  auto record = history.insertNewObject();
  ASSERT_TRUE(record);
  record->setTitle(title);
  record->setArtist(artist);
  record->setImageUrl("http://art.test/" + title + ".jpg");
  record->setPlayedAt(playedAt);
  record->setItemHash(CDUtility::itemHashWithTitle(title, artist));
  CDPreviewDataSourceEntityController stored(history.context());
  for (const auto& source : sources) {
    auto copy = stored.insertNewObject();
    assignPreviewDataSourceToManagedObject(source, *copy);
    copy->setPlayedTrackHistory(record.get());
  }
  ASSERT_TRUE(stored.save().ok());
  ASSERT_TRUE(history.save().ok());
}

MRPreviewDataSource videoAt(const std::string& link,
                            std::optional<std::string> previewUrl = std::nullopt) {
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDYouTube;
  source.previewUrl = std::move(previewUrl);
  auto info = std::make_shared<MRYouTubeAdditionalInfo>();
  info->setLink(link);
  source.additionalInfo = info;
  return source;
}

TEST(HistoryMixTest, TheFirstResolvedGoesFirstAndLaterOnesToTheirOwnPlaceOrTheEnd) {
  MixWorld world;
  const Date now = world.testEnv.clock().currentDate();
  for (const char* title : {"First", "Second", "Third", "Kept"})
    world.addVideo({title, "Band", false, true});
  world.breakWatchPage("Kept");
  // Newest first: First, Second, Third, then one whose video is gone, then
  // one whose page fails but whose stored stream still plays.
  addHistory(*world.store, "First", "Band", now.addingSeconds(-10),
             {videoAt(world.watchUrl("First"))});
  addHistory(*world.store, "Second", "Band", now.addingSeconds(-20),
             {videoAt(world.watchUrl("Second"))});
  addHistory(*world.store, "Third", "Band", now.addingSeconds(-30),
             {videoAt(world.watchUrl("Third"))});
  addHistory(*world.store, "Gone", "Band", now.addingSeconds(-40),
             {videoAt(world.watchUrl("Gone"))});
  addHistory(*world.store, "Kept", "Band", now.addingSeconds(-50),
             {videoAt(world.watchUrl("Kept"), "http://old.stream/kept")});
  world.hold("First");
  world.hold("Second");
  world.hold("Kept");

  auto mix = std::make_shared<MRHistoryMix>(world.parts);
  auto delegate = std::make_shared<RecordingViewDelegate>(world.testEnv.dispatcher());
  mix->setViewDelegate(delegate);
  mix->loadTracks(*world.serviceQueue);
  // Third (position 2) is ready first: it goes to min(2, 0) = 0.
  ASSERT_TRUE(world.testEnv.pumpUntil(
      [&] { return mix->numberOfTracks() == 1 && mix->pendingResolvers() == 3; }));
  EXPECT_EQ(titlesOf(*mix), std::vector<std::string>{"Third"});

  world.release("Second");  // position 1 of 1: the end
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->numberOfTracks() == 2; }));
  world.release("First");  // position 0
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->numberOfTracks() == 3; }));
  world.release("Kept");  // position 4 of 3: the end
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return mix->isFinished(); }));

  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(titlesOf(*mix), (std::vector<std::string>{"First", "Third", "Second", "Kept"}));
  std::vector<size_t> indices;
  for (const auto& call : delegate->calls())
    indices.push_back(call.index);
  EXPECT_EQ(indices, (std::vector<size_t>{0, 1, 0, 3}));
  EXPECT_TRUE(delegate->allOnMainThread());
  EXPECT_FLOAT_EQ(mix->progress(), 1.0f);

  const auto first = std::dynamic_pointer_cast<MRHistoryMixTrackItem>(mix->trackItemForIndex(0));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->artist, "Band");
  EXPECT_EQ(first->imageUrl, "http://art.test/First.jpg");
  EXPECT_EQ(first->playedAt, now.addingSeconds(-10));
  EXPECT_EQ(first->youTubePreviewDataSource()->previewUrl, MixWorld::streamUrl("First"));
  EXPECT_EQ(mix->trackItemForIndex(3)->youTubePreviewDataSource()->previewUrl,
            "http://old.stream/kept");
}

// ---------------------------------------------------------------- new releases

TEST(NewReleaseMixTest, OnlyTheSongsWithAPreviewAreListedInTheStoresOrder) {
  MixWorld world;
  world.setLookup(540000001, R"([
    {"wrapperType": "collection", "collectionType": "Album", "collectionId": 540000001,
     "artistName": "Band", "collectionName": "Fresh"},
    {"wrapperType": "track", "kind": "song", "trackId": 1, "artistName": "Band",
     "collectionName": "Fresh", "trackName": "Opener", "previewUrl": "http://audio.test/1.m4a",
     "artworkUrl100": "http://art.test/fresh/100x100bb.jpg", "releaseDate": "2013-04-01T07:00:00Z"},
    {"wrapperType": "track", "kind": "music-video", "trackId": 2, "artistName": "Band",
     "collectionName": "Fresh", "trackName": "The Video", "previewUrl": "http://audio.test/2.m4v"},
    {"wrapperType": "track", "kind": "song", "trackId": 3, "artistName": "Band",
     "collectionName": "Fresh", "trackName": "Silent", "previewUrl": ""},
    {"wrapperType": "track", "kind": "song", "trackId": 4, "artistName": "Band feat. Guest",
     "collectionName": "Fresh", "trackName": "Closer", "previewUrl": "http://audio.test/4.m4a"}
  ])");
  auto mix = std::make_shared<MRNewReleaseMix>(
      world.parts, MRNewReleaseMix::Release{540000001, "Band", "Fresh"});
  std::vector<std::string> locating;
  mix->addObserver([&locating](MRServiceOperation& operation, std::string_view key) {
    if (key == "locatingTrackTitle")
      locating.push_back(static_cast<MRPlaylistBuildOperation&>(operation).locatingTrackTitle());
  });
  ASSERT_TRUE(world.run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(titlesOf(*mix), (std::vector<std::string>{"Opener", "Closer"}));
  EXPECT_EQ(locating, std::vector<std::string>{"Fresh"});
  EXPECT_EQ(mix->locatingTrackArtist(), "Band");

  const auto opener =
      std::dynamic_pointer_cast<MRNewReleaseMixTrackItem>(mix->trackItemForIndex(0));
  ASSERT_TRUE(opener);
  EXPECT_EQ(opener->artist, "Band");
  EXPECT_EQ(opener->album, "Fresh");
  EXPECT_EQ(opener->imageUrl, "http://art.test/fresh/200x200bb.jpg");
  EXPECT_EQ(opener->releaseDate, parseISO8601("2013-04-01T07:00:00Z"));
  ASSERT_EQ(opener->previewDataSourceSet.size(), 1u);
  EXPECT_EQ(opener->previewDataSourceSet[0].sourceID, MRPreviewSourceIDITunes);
  EXPECT_EQ(opener->previewDataSourceSet[0].previewUrl, "http://audio.test/1.m4a");
  EXPECT_EQ(opener->previewDataSourceSet[0].locatedAt, world.testEnv.clock().currentDate());
  EXPECT_EQ(mix->trackItemForIndex(1)->artist, "Band feat. Guest");

  // Looked up as songs, in the listener's store; nothing else was asked.
  ASSERT_EQ(world.requests().size(), 1u);
  const auto lookup = world.requests()[0];
  EXPECT_EQ(lookup.path, "/lookup");
  EXPECT_EQ(lookup.query.at("id"), "540000001");
  EXPECT_EQ(lookup.query.at("entity"), "song");
  EXPECT_EQ(lookup.query.at("country"), "us");
}

TEST(NewReleaseMixTest, ALookupHoldingOnlyTheCollectionGivesAnEmptyMixThatCompletes) {
  MixWorld world;
  world.setLookup(540000002, R"([
    {"wrapperType": "collection", "collectionType": "Album", "collectionId": 540000002,
     "artistName": "Band", "collectionName": "Bare", "trackCount": 9}
  ])");
  // Made from the stored release, as the home page does.
  CDArtistEntityController artists(world.store.get());
  LastfmArtist band;
  band.name = "Band";
  auto artist = artists.insertNewObjectWithLastfmArtist(band);
  CDNewReleaseEntityController releases(artists.context());
  auto release = releases.insertNewObject();
  release->setTitle("Bare");
  release->setCollectionId(540000002);
  release->setArtist(artist.get());
  ASSERT_TRUE(releases.save().ok());
  auto mix = std::make_shared<MRNewReleaseMix>(world.parts, *release);
  EXPECT_EQ(mix->subjectRelease().artistName, "Band");
  EXPECT_EQ(mix->subjectRelease().title, "Bare");

  ASSERT_TRUE(world.run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(mix->numberOfTracks(), 0u);
  EXPECT_EQ(world.requestsFor("/lookup"), 1);
}

}  // namespace
}  // namespace mr
