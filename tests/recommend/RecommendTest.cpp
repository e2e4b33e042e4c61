#include <gtest/gtest.h>

#include <thread>

#include "external/ExternalErrors.h"
#include "recommend/MRBuildRecommendationQueueFromArtistName.h"
#include "recommend/MRRecommendMix.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "recommend/MRRecommendMixGenreSelector.h"
#include "recommend/MRRecommendTrackOperation.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "recommend/RecommendWorld.h"
#include "store/CDFavoriteTrack.h"
#include "support/TempDir.h"
#include "store/CDTrackRecommendationQueueItem.h"

namespace mr {
namespace {

using test::Candidate;
using test::RecommendWorld;

std::shared_ptr<CDArtist> storeArtist(Database& store, const std::string& name,
                                      std::vector<std::string> tags) {
  LastfmArtist artist;
  artist.name = name;
  artist.tag = std::move(tags);
  CDArtistEntityController artists(&store);
  auto record = artists.insertNewObjectWithLastfmArtist(artist);
  EXPECT_TRUE(artists.save());
  return record;
}

// A recommendation with an iTunes preview, as a seed would have stored it.
void storeRecommendation(Database& store, const std::string& title, const std::string& artistName,
                         const std::string& genre = "Rock") {
  auto context = store.newContext();
  CDArtistEntityController artists(context);
  CDRecommendTrackEntityController tracks(context);
  CDPreviewDataSourceEntityController sources(context);
  auto artist = artists.findWithArtistName(artistName);
  auto track = tracks.insertNewObject();
  track->setArtist(artist.get());
  track->setTitle(title);
  track->setImageUrl("http://art.test/" + title + ".jpg");
  track->setPrimaryGenreName(genre);
  track->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*track));
  MRPreviewDataSource preview;
  preview.sourceID = MRPreviewSourceIDITunes;
  preview.previewUrl = "http://audio.test/" + title + ".m4a";
  auto stored = sources.insertNewObject();
  assignPreviewDataSourceToManagedObject(preview, *stored);
  stored->setRecommendTrack(track.get());
  ASSERT_TRUE(tracks.save());
}

int64_t countOf(Database& store, const EntityInfo& entity) {
  return store.newContext()->count(entity);
}

// ---------------------------------------------------------------- artists

TEST(RetrieveArtistInfoTest, TheStoreAnswersFirstAndLastfmsAnswerIsKeptWithTheNameAsked) {
  RecommendWorld world;
  world.addArtist("The Beatles", {"rock", "60s"}, {"Beatels"});

  auto first = std::make_shared<MRRetrieveArtistInfoOperation>(world.parts, "the  BEATLES");
  ASSERT_TRUE(world.run(first));
  ASSERT_TRUE(first->artistInfo());
  EXPECT_EQ(first->artistInfo()->name, "The Beatles");
  EXPECT_EQ(world.requestsFor("artist.getInfo"), 1);
  EXPECT_EQ(countOf(*world.store, CDArtist::entityInfo()), 1);

  // Any case and spacing of the stored name: no request.
  auto again = std::make_shared<MRRetrieveArtistInfoOperation>(world.parts, "THE BEATLES");
  ASSERT_TRUE(world.run(again));
  EXPECT_EQ(world.requestsFor("artist.getInfo"), 1);
  ASSERT_TRUE(again->artistInfo());
  EXPECT_EQ(again->artistInfo()->tag, (std::vector<std::string>{"rock", "60s"}));

  // A misspelling asks Last.fm each time, but ends on the same artist and
  // one variant for it.
  for (int i = 0; i < 2; ++i) {
    auto misspelt = std::make_shared<MRRetrieveArtistInfoOperation>(world.parts, "Beatels");
    ASSERT_TRUE(world.run(misspelt));
    ASSERT_TRUE(misspelt->artistInfo());
    EXPECT_EQ(misspelt->artistInfo()->name, "The Beatles");
  }
  EXPECT_EQ(world.requestsFor("artist.getInfo"), 3);
  EXPECT_EQ(countOf(*world.store, CDArtist::entityInfo()), 1);
  EXPECT_EQ(countOf(*world.store, CDArtistVariant::entityInfo()), 2);  // "the  beatles", "beatels"
}

TEST(RetrieveArtistInfoTest, AnArtistLastfmDoesNotKnowIsItsErrorAndNoRecord) {
  RecommendWorld world;
  auto lookup = std::make_shared<MRRetrieveArtistInfoOperation>(world.parts, "Nobody At All");
  ASSERT_TRUE(world.run(lookup));
  EXPECT_FALSE(lookup->artistInfo());
  ASSERT_TRUE(lookup->lastError());
  EXPECT_EQ(lookup->lastError()->domain(), "last.fm");
  EXPECT_EQ(lookup->lastError()->code(), 6);
  EXPECT_EQ(countOf(*world.store, CDArtist::entityInfo()), 0);
}

// Seeds on several threads meet the same new artist at once.
TEST(RetrieveArtistInfoTest, OneNewArtistLookedUpOnManyThreadsIsStoredOnce) {
  test::TempDir dir;
  auto store = Database::open(dir.file("race.sqlite"), Database::OpenMode::AsIs);
  ASSERT_TRUE(store.ok());
  for (int round = 0; round < 20; ++round) {
    LastfmArtist artist;
    artist.name = "Band " + std::to_string(round);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&store, artist, t] {
        MRRetrieveArtistInfoOperation::storeArtist(**store, artist, "band  " + std::to_string(t));
      });
    }
    for (auto& thread : threads)
      thread.join();
  }
  EXPECT_EQ(countOf(**store, CDArtist::entityInfo()), 20);
}

// ---------------------------------------------------------------- one seed

TEST(RecommendTrackTest, OnlyCandidatesTheListenerHasNotMetAreStored) {
  RecommendWorld world;
  world.addArtist("Seed Artist", {"indie", "pop"});
  world.addArtist("Known Band", {"rock", "indie"});
  world.addArtist("Banned Band", {"rock", "noise"});
  world.withoutPreview = {"Nowhere", "Video Only", "Bare"};
  world.withVideo = {"Video Only", "Bare"};
  world.setSimilar("Seed Song", "Seed Artist",
                   {{"New One", "Known Band"},
                    {"new  one", "KNOWN BAND"},  // the same track again
                    {"Queued One", "Known Band"},
                    {"Used One", "Known Band"},
                    {"Played One", "Known Band"},
                    {"Banned Song", "Banned Band"},
                    {"Nowhere", "Known Band"},
                    {"Mystery", "Unknown Band"},
                    {"Video Only", "Known Band"},
                    {"Bare", "Known Band", false}});
  {
    auto context = world.store->newContext();
    CDTrackRecommendationQueueEntityController queue(context);
    queue.enqueueTrackForRecommendationWithTitle("Queued One", "", "Known Band", 1, false);
    auto used =
        queue.enqueueTrackForRecommendationWithTitle("Used One", "", "Known Band", 1, false);
    CDTrackUsedForRecommendationEntityController(context)
        .insertNewObjectWithTrackRecommendationQueueItem(*used);
    queue.deleteObject(*used);
    CDPlayHistoryTrackEntityController history(context);
    auto played = history.insertNewObject();
    played->setTitle("Played One");
    played->setArtist("Known Band");
    played->setItemHash(CDUtility::itemHashWithTitle("Played One", "Known Band"));
    ASSERT_TRUE(queue.save());
    ASSERT_TRUE(CDArtistBlackListEntityController(world.store.get()).registerNewArtist("Banned Band").ok());
  }

  auto seed = std::make_shared<MRRecommendTrackOperation>(world.parts, "Seed Song", "Seed Artist",
                                                          "Seed Album");
  seed->subjectIsUserTrack = true;
  seed->recommendLimit = 50;
  std::vector<std::string> announced;
  seed->setProgressBlock([&announced](MRRecommendTrackOperation&, const CDRecommendTrack& track) {
    announced.push_back(track.title().value_or(""));
  });
  ASSERT_TRUE(world.run(seed));

  EXPECT_EQ(announced, (std::vector<std::string>{"New One", "Video Only"}));
  CDRecommendTrackEntityController stored(world.store.get());
  ASSERT_EQ(stored.countAllItems(), 2);

  auto fromITunes = stored.findWithItemHash(CDUtility::itemHashWithTitle("New One", "Known Band"));
  ASSERT_TRUE(fromITunes);
  EXPECT_EQ(fromITunes->imageUrl().value_or("").find("/200x200bb.jpg") != std::string::npos, true);
  EXPECT_EQ(fromITunes->primaryGenreName(), "Rock");
  EXPECT_EQ(fromITunes->sourceTitle(), "Seed Song");
  EXPECT_EQ(fromITunes->sourceAlbum(), "Seed Album");
  EXPECT_EQ(fromITunes->artist()->name(), "Known Band");
  ASSERT_EQ(fromITunes->previewDataSourceSet().size(), 1u);
  EXPECT_EQ(fromITunes->previewDataSourceSet()[0]->sourceID(), MRPreviewSourceIDITunes);

  // Only a video: the Last.fm image, and no genre.
  auto fromVideo =
      stored.findWithItemHash(CDUtility::itemHashWithTitle("Video Only", "Known Band"));
  ASSERT_TRUE(fromVideo);
  EXPECT_EQ(
      fromVideo->imageUrl(),
      "http://img.test/300/" + CDUtility::itemHashWithTitle("Video Only", "Known Band") + ".png");
  EXPECT_FALSE(fromVideo->primaryGenreName());
  ASSERT_EQ(fromVideo->previewDataSourceSet().size(), 1u);
  EXPECT_EQ(fromVideo->previewDataSourceSet()[0]->sourceID(), MRPreviewSourceIDYouTube);

  // The banned artist was never looked for.
  for (const auto& term : world.searchedTerms())
    EXPECT_EQ(term.find("Banned"), std::string::npos) << term;

  // The candidates' artist is a recommended artist; the seed's a user artist.
  auto recommended = CDRecommendArtistEntityController(world.store.get())
                         .findWithItemHash(CDUtility::artistItemHashWithArtist("Known Band"));
  ASSERT_TRUE(recommended);
  EXPECT_EQ(recommended->sourceArtist(), "Seed Artist");
  EXPECT_TRUE(CDUserArtistEntityController(world.store.get()).findWithArtistName("Seed Artist"));
}

TEST(RecommendTrackTest, ASeedThatCouldNotBeAskedAboutIsToldFromOneWithNothingNew) {
  RecommendWorld world;
  world.addArtist("Seed Artist", {"indie"});
  world.addArtist("Known Band", {"rock"});
  world.garbled = {"Garbled Song"};
  world.setSimilar("Quiet Song", "Seed Artist", {});
  world.setSimilar(
      "Busy Song", "Seed Artist",
      {{"Lost One", "Known Band"}, {"Found One", "Known Band"}, {"Mystery", "Unknown Band"}});
  world.storeDown = {"Lost One"};

  const auto seed = [&](const std::string& title) {
    auto op = std::make_shared<MRRecommendTrackOperation>(world.parts, title, "Seed Artist", "");
    EXPECT_TRUE(world.run(op));
    return op;
  };
  // A proxy's page instead of Last.fm's answer.
  auto garbled = seed("Garbled Song");
  ASSERT_TRUE(garbled->lastError());
  EXPECT_EQ(garbled->lastError()->code(), kMalformedAnswerErrorCode);
  EXPECT_TRUE(isTemporaryFailure(*garbled->lastError()));
  EXPECT_EQ(garbled->storedCount(), 0);
  // Last.fm knows nothing similar: an answer, not a failure.
  auto quiet = seed("Quiet Song");
  EXPECT_FALSE(quiet->lastError());
  EXPECT_EQ(quiet->storedCount(), 0);
  // A candidate lost to a store that could not answer counts; one whose
  // artist does not exist does not.
  auto busy = seed("Busy Song");
  EXPECT_EQ(busy->storedCount(), 1);
  ASSERT_TRUE(busy->lastError());
  EXPECT_EQ(busy->lastError()->code(), 503);
}

TEST(RecommendTrackTest, ASeedWithoutTitleOrArtistAsksNothing) {
  RecommendWorld world;
  ASSERT_TRUE(world.run(
      std::make_shared<MRRecommendTrackOperation>(world.parts, std::nullopt, "Someone", "")));
  ASSERT_TRUE(world.run(
      std::make_shared<MRRecommendTrackOperation>(world.parts, "Something", std::nullopt, "")));
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 0);
}

TEST(RecommendTrackTest, TheImageFallsBackToLastfmsLargestAndNoneIsNoImage) {
  LastfmTrack track;
  EXPECT_FALSE(MRRecommendTrackOperation::imageUrlForCandidate({}, track));
  track.imageUrl.emplace();
  EXPECT_FALSE(
      MRRecommendTrackOperation::imageUrlForCandidate({}, track));  // sizes without addresses
  track.imageUrl->medium = "http://img.test/64.png";
  EXPECT_EQ(MRRecommendTrackOperation::imageUrlForCandidate({}, track), "http://img.test/64.png");
  track.imageUrl->extraLarge = "http://img.test/300.png";
  EXPECT_EQ(MRRecommendTrackOperation::imageUrlForCandidate({}, track), "http://img.test/300.png");
  MRPreviewDataSource iTunes;
  iTunes.sourceID = MRPreviewSourceIDITunes;
  iTunes.additionalInfo = std::make_shared<MRiTunesAdditionalInfo>(
      Dictionary{{"artworkUrl100", Value("http://art.test/100.jpg")},
                 {"artworkUrl200", Value("http://art.test/200.jpg")}});
  EXPECT_EQ(MRRecommendTrackOperation::imageUrlForCandidate({iTunes}, track),
            "http://art.test/200.jpg");
}

// ---------------------------------------------------------------- the build

TEST(RecommendMixBuildTest, LimitsByPriorityAndWidthByLink) {
  EXPECT_EQ(MRRecommendMixBuildOperation::recommendLimitForPriority(1000, 500), 70);
  EXPECT_EQ(MRRecommendMixBuildOperation::recommendLimitForPriority(100, 500), 70);
  EXPECT_EQ(MRRecommendMixBuildOperation::recommendLimitForPriority(10, 500), 50);
  EXPECT_EQ(MRRecommendMixBuildOperation::recommendLimitForPriority(9, 500), 30);
  EXPECT_EQ(MRRecommendMixBuildOperation::recommendLimitForPriority(9, 29),
            50);  // a young store widens

  RecommendWorld world;
  MRRecommendMixBuildOperation build(world.parts);
  const std::pair<NetworkStatus, int> widths[] = {{NetworkStatus::NotReachable, 0},
                                                  {NetworkStatus::ReachableViaWWAN, 2},
                                                  {NetworkStatus::ReachableViaWiFi, 2},
                                                  {NetworkStatus::ReachableViaWired, 2}};
  for (const auto& [status, width] : widths) {
    world.testEnv.reachability().setStatus(status);
    EXPECT_EQ(build.determineConcurrentOperationCount(), width);
  }
  build.setBoostMode(true);
  EXPECT_EQ(build.determineConcurrentOperationCount(), 5);  // even offline
  EXPECT_EQ(build.recommendOps()->maxConcurrentOperationCount(), 5);
}

TEST(RecommendMixBuildTest, EnoughRecommendationsEndTheBuildAtOnce) {
  RecommendWorld world;
  storeArtist(*world.store, "Band", {"rock", "pop"});
  {
    auto context = world.store->newContext();
    CDArtistEntityController artists(context);
    CDRecommendTrackEntityController tracks(context);
    auto artist = artists.findWithArtistName("Band");
    for (int i = 0; i < 1000; ++i) {
      auto track = tracks.insertNewObject();
      track->setTitle("Song " + std::to_string(i));
      track->setArtist(artist.get());
      track->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*track));
    }
    CDTrackRecommendationQueueEntityController(context).enqueueTrackForRecommendationWithTitle(
        "Seed", "", "Band", 5, true);
    ASSERT_TRUE(tracks.save());
  }
  auto build = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  ASSERT_TRUE(world.run(build));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(build->seedsStarted(), 0);
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 0);
}

TEST(RecommendMixBuildTest,
     WithNoSeedsLeftThirtyAreEnoughAndFewerRefillFromRecommendationsAndHistory) {
  RecommendWorld world;
  storeArtist(*world.store, "Band", {"rock", "pop"});
  for (int i = 0; i < 30; ++i)
    storeRecommendation(*world.store, "Song " + std::to_string(i), "Band");
  auto enough = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  ASSERT_TRUE(world.run(enough));
  EXPECT_EQ(enough->seedsStarted(), 0);

  {
    CDRecommendTrackEntityController tracks(world.store.get());
    tracks.deleteWithItemHash(CDUtility::itemHashWithTitle("Song 0", "Band"));
    ASSERT_TRUE(tracks.save());
    CDPlayHistoryTrackEntityController history(world.store.get());
    auto played = history.insertNewObject();
    played->setTitle("Heard");
    played->setArtist("Band");
    played->setItemHash(CDUtility::itemHashWithTitle("Heard", "Band"));
    played->setPlayedAt(Date{1700000000.0});
    ASSERT_TRUE(history.save());
  }
  auto refill = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  ASSERT_TRUE(world.run(refill));
  EXPECT_EQ(refill->status(), kMRServiceOperationStatusCompleted);
  // 29 recommendations and one play, each expanded once and recorded as used.
  EXPECT_EQ(refill->seedsStarted(), 30);
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 30);
  EXPECT_EQ(countOf(*world.store, CDTrackUsedForRecommendation::entityInfo()), 30);
  EXPECT_EQ(countOf(*world.store, CDTrackRecommendationQueueItem::entityInfo()), 0);
}

// A seed Last.fm answered, even with nothing, is used up; one whose request
// failed for a temporary cause stays for a later build.
TEST(RecommendMixBuildTest, SeedsWithoutAnAnswerAreKeptAndADeadLastfmEndsACommandLineBuild) {
  RecommendWorld world;
  world.addArtist("Band", {"rock"});
  CDTrackRecommendationQueueEntityController queue(world.store.get());
  for (const char* title : {"Answered", "Garbled", "Also answered"})
    queue.enqueueTrackForRecommendationWithTitle(title, "", "Band", 5, true);
  ASSERT_TRUE(queue.save());
  world.garbled = {"Garbled"};
  auto build = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  build->setGiveUpWhenLastfmIsDown(true);
  ASSERT_TRUE(world.run(build));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 3);  // none asked twice
  auto left = queue.findAll();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0]->title(), "Garbled");

  // Nothing answers: the build gives up after a few seeds and keeps them all.
  world.garbled.clear();
  world.outageRequests = 1000;
  for (int i = 0; i < 20; ++i)
    queue.enqueueTrackForRecommendationWithTitle("Seed " + std::to_string(i), "", "Band", 1, true);
  ASSERT_TRUE(queue.save());
  const int before = world.requestsFor("track.getSimilar");
  auto dead = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  dead->setGiveUpWhenLastfmIsDown(true);
  ASSERT_TRUE(world.run(dead));
  EXPECT_EQ(dead->status(), kMRServiceOperationStatusFailed);
  ASSERT_TRUE(dead->lastError());
  EXPECT_EQ(dead->lastError()->code(), MRRecommendMixBuildOperation::kLastfmNotAnsweringErrorCode);
  EXPECT_EQ(dead->lastError()->description(), "Last.fm is not answering");
  EXPECT_LE(world.requestsFor("track.getSimilar") - before,
            MRRecommendMixBuildOperation::kTemporaryFailuresBeforeBackOff + 1);
  EXPECT_EQ(queue.countAllItems(), 21);
}

// In the app nobody is told: the build pauses, longer each time, and tries
// the kept seeds again.
TEST(RecommendMixBuildTest, AnOutageMakesTheBuildBackOffAndTryTheKeptSeedsAgain) {
  RecommendWorld world;
  world.addArtist("Band", {"rock"});
  CDTrackRecommendationQueueEntityController queue(world.store.get());
  for (int i = 0; i < 6; ++i)
    queue.enqueueTrackForRecommendationWithTitle("Seed " + std::to_string(i), "", "Band", 1, true);
  ASSERT_TRUE(queue.save());
  world.outageRequests = 6;
  const SteadyTime start = world.testEnv.clock().now();
  auto build = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  ASSERT_TRUE(world.run(build));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 12);
  EXPECT_EQ(queue.countAllItems(), 0);
  EXPECT_GE(world.testEnv.clock().now() - start,
            seconds(MRRecommendMixBuildOperation::kFirstBackOffSeconds));
}

TEST(RecommendMixBuildTest, ACancelledBuildEndsOnlyAfterItsSeedsHaveStopped) {
  RecommendWorld world;
  world.addArtist("Band", {"rock"});
  CDTrackRecommendationQueueEntityController queue(world.store.get());
  for (int i = 0; i < 3; ++i)
    queue.enqueueTrackForRecommendationWithTitle("Seed " + std::to_string(i), "", "Band", 1, true);
  ASSERT_TRUE(queue.save());
  world.holdSimilarAnswers(true);
  auto build = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  auto queueOfBuild = std::make_shared<OperationQueue>("build", 1);
  queueOfBuild->addOperation(build);
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return build->seedsStarted() >= 1; }));
  build->cancel();
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return build->isFinished(); }));
  // Nothing of the build writes after it has ended.
  EXPECT_EQ(build->recommendOps()->operationCount(), 0u);
  world.holdSimilarAnswers(false);
}

TEST(RecommendMixBuildTest, OfflineItWaitsWithoutSeedingAndGoesOnWhenTheLinkReturns) {
  RecommendWorld world;
  world.addArtist("Band", {"rock", "pop"});
  CDTrackRecommendationQueueEntityController queue(world.store.get());
  queue.enqueueTrackForRecommendationWithTitle("Seed", "", "Band", 1, true);
  ASSERT_TRUE(queue.save());
  world.testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  world.testEnv.dispatcher().pump();

  auto build = std::make_shared<MRRecommendMixBuildOperation>(world.parts);
  const SteadyTime start = world.testEnv.clock().now();
  auto queueOfBuild = std::make_shared<OperationQueue>("build", 1);
  queueOfBuild->addOperation(build);
  // Ten one-second pauses, and still nothing started.
  ASSERT_TRUE(
      world.testEnv.pumpUntil([&] { return world.testEnv.clock().now() - start >= seconds(10); }));
  EXPECT_EQ(build->seedsStarted(), 0);
  EXPECT_EQ(build->status(), kMRServiceOperationStatusProcessing);
  EXPECT_EQ(world.requestsFor("track.getSimilar"), 0);

  world.testEnv.reachability().setStatus(NetworkStatus::ReachableViaWired);
  ASSERT_TRUE(world.testEnv.pumpUntil([&] { return build->isFinished(); }));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(build->seedsStarted(), 1);
  EXPECT_EQ(queue.countAllItems(), 0);  // the seed left the queue
}

// ---------------------------------------------------------------- filling the queue

TEST(BuildQueueFromArtistNamesTest, AnUnknownNameFailsTheRunButTheOthersAreQueued) {
  RecommendWorld world;
  world.addArtist("Alpha", {"rock", "pop"});
  world.addArtist("Beta", {"jazz", "soul"});
  auto build = std::make_shared<MRBuildRecommendationQueueFromArtistName>(
      world.parts, std::vector<std::string>{"Alpha", "Nobody At All", "Beta"});
  ASSERT_TRUE(world.run(build));
  EXPECT_EQ(build->status(), kMRServiceOperationStatusFailed);
  ASSERT_TRUE(build->lastError());
  EXPECT_EQ(build->lastError()->code(), 6);
  EXPECT_FLOAT_EQ(build->progress(), 1.0f);
  const auto items = CDTrackRecommendationQueueEntityController(world.store.get()).findAll();
  ASSERT_EQ(items.size(), 10u);
  for (const auto& item : items) {
    EXPECT_EQ(item->priority(), 1);
    EXPECT_EQ(item->isUserTrack(), true);
    EXPECT_EQ(item->album(), "");
  }
  EXPECT_EQ(std::dynamic_pointer_cast<MRBuildRecommendationQueueFromArtistName>(build->duplicate())
                ->artistNameList(),
            build->artistNameList());
}

// ---------------------------------------------------------------- the mix and its genres

TEST(RecommendMixTest, ATopTrackAmongTheCandidatesIsListedOnceAtTheTop) {
  RecommendWorld world;
  storeArtist(*world.store, "Band", {"rock", "pop"});
  for (const char* title : {"One", "Two", "Three", "Four"})
    storeRecommendation(*world.store, title, "Band");
  CDRecommendTrackEntityController tracks(world.store.get());
  auto top = std::make_shared<MRRecommendMixTrackItem>();
  tracks.findWithItemHash(CDUtility::itemHashWithTitle("Three", "Band"))
      ->assignToRecommendMixTrackItem(*top);

  auto mix = std::make_shared<MRRecommendMix>(world.parts, top);
  ASSERT_TRUE(world.run(mix));
  EXPECT_EQ(mix->status(), kMRServiceOperationStatusCompleted);
  ASSERT_EQ(mix->numberOfTracks(), 4u);
  EXPECT_EQ(mix->trackItemForIndex(0), top);
  std::set<std::string> titles;
  for (const auto& item : mix->tracks())
    titles.insert(item->title);
  EXPECT_EQ(titles.size(), 4u);
  EXPECT_EQ(mix->indexOfTrackItem(top.get()), 0u);
}

TEST(RecommendMixGenreSelectorTest, TopTagsByCountEachWithAnArtistKeptOnceChosen) {
  RecommendWorld world;
  storeArtist(*world.store, "Rocker", {"rock", "loud"});
  storeArtist(*world.store, "Roller", {"rock", "blues"});
  storeArtist(*world.store, "Silent", {"ambient", "quiet"});  // no recommendations
  storeRecommendation(*world.store, "Hit", "Rocker");
  storeRecommendation(*world.store, "Roll", "Roller");

  auto selector = std::make_shared<MRRecommendMixGenreSelector>(world.parts);
  selector->setTopGenres(selector->getTopTagsOfNum(2));
  ASSERT_EQ(selector->genreTags().size(), 2u);
  EXPECT_EQ(selector->genreTags()[0].name, "rock");
  EXPECT_FLOAT_EQ(selector->genreTags()[0].weight, 1.0f);
  const auto chosen = selector->artistInfoAtIndex(0);
  ASSERT_TRUE(chosen);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(selector->artistInfoAtIndex(0)->objectID(), chosen->objectID());
  ASSERT_TRUE(selector->trackAtIndex(0));
  EXPECT_EQ(selector->trackAtIndex(0)->artist()->objectID(), chosen->objectID());

  // A tag whose artists have no recommendations gives no artist, every time.
  selector->setTopGenres({MRGenreTag::genreTagWithName("ambient", 1)});
  EXPECT_FALSE(selector->artistInfoAtIndex(0));
  EXPECT_FALSE(selector->artistInfoAtIndex(0));
}

}  // namespace
}  // namespace mr
