// New releases, comments and today's artists against the in-process
// sandbox (its iTunes Store, Last.fm and Mirelune service) and a store in a
// temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>

#include "base/MRUserDefaults.h"
#include "model/CDUtility.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRSimilarTrackMix.h"
#include "social/MRNewReleaseCheckOperation.h"
#include "social/MRPlaylistViewControllerFactory.h"
#include "social/MRSubmitCommentForTrackOperation.h"
#include "social/MRTodaysArtistsController.h"
#include "store/CDNewRelease.h"
#include "support/SandboxRecommendParts.h"
#include "support/SandboxSession.h"

namespace mr {
namespace {

constexpr double kHour = 60 * 60;

struct SocialSandboxTest : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  MRRecommendParts parts;

  SocialSandboxTest() { parts = test::sandboxRecommendParts(testEnv, sandbox, store, network); }
  ~SocialSandboxTest() override {
    serviceQueue->cancelAllOperations();
    network->cancelAllOperations();
    testEnv.pumpUntil(
        [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
    testEnv.dispatcher().pump();
    parts = MRRecommendParts();
  }

  // An artist the store sells, with at least two albums there.
  const sandbox::CatalogueArtist& artistWithAlbums() {
    const auto& catalogue = sandbox.server().catalogue();
    for (const auto& artist : catalogue.artists()) {
      if (artist.storeArtistId == 0) continue;
      const auto sold = std::count_if(artist.albums.begin(), artist.albums.end(), [&](int a) {
        return catalogue.albums()[static_cast<size_t>(a)].storeCollectionId != 0;
      });
      if (sold >= 2) return artist;
    }
    throw std::runtime_error("no artist with albums in the catalogue");
  }
  size_t albumsSold(const sandbox::CatalogueArtist& artist) {
    const auto& albums = sandbox.server().catalogue().albums();
    return static_cast<size_t>(std::count_if(
        artist.albums.begin(), artist.albums.end(),
        [&](int a) { return albums[static_cast<size_t>(a)].storeCollectionId != 0; }));
  }

  std::shared_ptr<MRNewReleaseCheckOperation> runCheck(std::vector<std::string> artists) {
    auto check = std::make_shared<MRNewReleaseCheckOperation>(
        parts, [artists] { return Result<std::vector<std::string>>(artists); });
    serviceQueue->addOperation(check);
    EXPECT_TRUE(testEnv.pumpUntil([&check] { return check->isFinished(); }));
    return check;
  }
  std::optional<Date> checkedDate(const std::string& artist) {
    CDNewReleaseCheckHistoryEntityController history(store.get());
    auto record = history.findWithArtistName(artist);
    return record ? record->lastCheckedDate() : std::nullopt;
  }
  void setChecked(const std::string& artist, Date when) {
    CDNewReleaseCheckHistoryEntityController history(store.get());
    auto record = history.findWithArtistName(artist);
    if (record) {
      record->setLastCheckedDate(when);
    } else {
      history.insertNewObjectWithArtistName(artist, when);
    }
    ASSERT_TRUE(history.save().ok());
  }
  size_t storedReleases() {
    return static_cast<size_t>(CDNewReleaseEntityController(store.get()).countAllItems());
  }
};

TEST_F(SocialSandboxTest, NewReleaseHistoryKeepsAnArtistForADay) {
  const auto& catalogue = sandbox.server().catalogue();
  const std::string recent = artistWithAlbums().name;
  std::string stale;
  for (const auto& artist : catalogue.artists()) {
    if (artist.name != recent && artist.storeArtistId != 0 && albumsSold(artist) > 0) {
      stale = artist.name;
      break;
    }
  }
  ASSERT_FALSE(stale.empty());
  const Date now = testEnv.clock().currentDate();
  setChecked(recent, now.addingSeconds(-23 * kHour));
  setChecked(stale, now.addingSeconds(-25 * kHour));

  auto check = runCheck({recent, stale});
  EXPECT_EQ(check->status(), kMRServiceOperationStatusCompleted);
  EXPECT_FLOAT_EQ(check->progress(), 1.0F);
  EXPECT_EQ(check->artistsLookedUp(), 1U);
  EXPECT_EQ(checkedDate(recent), now.addingSeconds(-23 * kHour));
  EXPECT_EQ(checkedDate(stale), now);
  // Only the stale artist was searched, and its albums stored with it.
  const auto searches = sandbox.server().recordedRequests("/search");
  ASSERT_EQ(searches.size(), 1U);
  EXPECT_EQ(storedReleases(),
            albumsSold(*std::find_if(catalogue.artists().begin(), catalogue.artists().end(),
                                     [&](const auto& a) { return a.name == stale; })));
  // The records read their artist through the controller's context.
  CDNewReleaseEntityController releases(store.get());
  for (const auto& release : releases.findAll()) {
    ASSERT_TRUE(release->artist());
    EXPECT_EQ(release->artist()->name(), stale);
    EXPECT_GT(release->collectionId().value_or(0), 0);
    EXPECT_EQ(release->itemHash(),
              CDUtility::itemHashWithTitle(release->title().value_or(""), stale));
  }
}

TEST_F(SocialSandboxTest, AnArtistTheStoreDoesNotKnowIsRecordedAndSkippedForADay) {
  const std::string nobody = "Nobody Anyone Has Heard Of";
  auto first = runCheck({nobody});
  EXPECT_EQ(first->artistsLookedUp(), 1U);
  EXPECT_EQ(checkedDate(nobody), testEnv.clock().currentDate());
  EXPECT_EQ(storedReleases(), 0U);
  testEnv.clock().advance(seconds(12 * kHour));
  auto second = runCheck({nobody});
  EXPECT_EQ(second->artistsLookedUp(), 0U);
  EXPECT_EQ(second->processingArtistName(), nobody);
}

TEST_F(SocialSandboxTest, AnAlbumIsStoredOnce) {
  const auto& artist = artistWithAlbums();
  runCheck({artist.name});
  const size_t stored = storedReleases();
  EXPECT_EQ(stored, albumsSold(artist));
  testEnv.clock().advance(seconds(25 * kHour));
  testEnv.clock().setDate(testEnv.clock().currentDate().addingSeconds(25 * kHour));
  auto again = runCheck({artist.name});
  EXPECT_EQ(again->artistsLookedUp(), 1U);
  EXPECT_EQ(sandbox.server().recordedRequests("/lookup").size(), 2U);
  EXPECT_EQ(storedReleases(), stored);
}

TEST_F(SocialSandboxTest, NewReleaseCheckWithoutLibraryOrNetwork) {
  // No library file: the music library error, and the check still ends.
  {
    MRUserDefaults defaults(testEnv.settings(), testEnv.dir().path());
    ASSERT_TRUE(defaults.setITunesMusicLibraryFilePath(testEnv.dir().file("missing.xml")).ok());
    auto check = std::make_shared<MRNewReleaseCheckOperation>(parts);
    serviceQueue->addOperation(check);
    ASSERT_TRUE(testEnv.pumpUntil([&check] { return check->isFinished(); }));
    EXPECT_EQ(check->status(), kMRServiceOperationStatusCompleted);
    ASSERT_TRUE(check->lastError());
    EXPECT_EQ(check->lastError()->code(), 9000001);
  }
  // No artists: done at once.
  EXPECT_EQ(runCheck({})->status(), kMRServiceOperationStatusCompleted);
  // Offline: nobody is searched and the check waits to be cancelled.
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  auto check = std::make_shared<MRNewReleaseCheckOperation>(
      parts, [] { return Result<std::vector<std::string>>(std::vector<std::string>{"Anyone"}); });
  serviceQueue->addOperation(check);
  testEnv.clock().advance(seconds(3600));
  testEnv.dispatcher().pump();
  EXPECT_FALSE(check->isFinished());
  check->cancel();
  ASSERT_TRUE(testEnv.pumpUntil([&check] { return check->isFinished(); }));
  EXPECT_TRUE(sandbox.server().recordedRequests("/search").empty());
  EXPECT_FALSE(checkedDate("Anyone"));
}

// ---- Comments

MRPlaylistTrackItem trackOf(const sandbox::MusicCatalogue& catalogue) {
  const auto& track = catalogue.tracks().front();
  MRPlaylistTrackItem item;
  item.artist = catalogue.artists()[static_cast<size_t>(track.artist)].name;
  item.title = track.title;
  return item;
}

TEST(CommentFormTest, TrimsTheTextAndListsTheTickedConnections) {
  EXPECT_EQ(commentFormText(" \t\n So good \n\r "), "So good");
  EXPECT_EQ(commentFormText("  \n\n \t"), "");
  EXPECT_EQ(commentFormText("a\nb"), "a\nb");

  Settings settings;
  ovloConnectionList connections(settings);
  connections.upsertWithItem({"twitter", "me", 1, 22, std::nullopt});
  connections.upsertWithItem({"facebook", "me", 1, 11, std::nullopt});
  EXPECT_EQ(commentFormShareList(connections, true, true), (std::vector<int64_t>{11, 22}));
  EXPECT_EQ(commentFormShareList(connections, false, true), (std::vector<int64_t>{22}));
  EXPECT_EQ(commentFormShareList(connections, false, false), (std::vector<int64_t>{}));
  connections.removeItemWithCid(11);
  EXPECT_EQ(commentFormShareList(connections, true, false), (std::vector<int64_t>{}));
}

TEST_F(SocialSandboxTest, CommentsWithAndWithoutTextAndShares) {
  const auto item = trackOf(sandbox.server().catalogue());
  const int64_t aid = sandbox.accountId();
  auto twitter = sandbox.server().addConnection(aid, "twitter", "listener");
  ASSERT_TRUE(twitter.ok());
  const int64_t cid = twitter->integerForKey("cid", 0);
  ASSERT_GT(cid, 0);

  // A text trimmed to nothing: the track is registered, no comment is sent.
  auto shop = std::make_shared<MRSubmitCommentForTrackOperation>(
      parts, sandbox.mirelune(), item, commentFormText(" \n "), std::nullopt);
  shop->submit(*serviceQueue);
  ASSERT_TRUE(testEnv.pumpUntil([&shop] { return shop->isFinished(); }));
  EXPECT_EQ(shop->status(), kMRServiceOperationStatusCompleted);
  EXPECT_TRUE(shop->wtid());
  EXPECT_TRUE(shop->trackViewUrl());
  EXPECT_EQ(sandbox.server().commentCount(aid), 0);
  EXPECT_TRUE(sandbox.server().recordedRequests("/track/add_comment").empty());

  auto comment = std::make_shared<MRSubmitCommentForTrackOperation>(
      parts, sandbox.mirelune(), item, "Lovely", std::vector<int64_t>{cid});
  comment->submit(*serviceQueue);
  ASSERT_TRUE(testEnv.pumpUntil([&comment] { return comment->isFinished(); }));
  EXPECT_EQ(comment->status(), kMRServiceOperationStatusCompleted);
  EXPECT_FLOAT_EQ(comment->progress(), 1.0F);
  EXPECT_EQ(sandbox.server().commentCount(aid), 1);
  const auto sent = sandbox.server().recordedRequests("/track/add_comment");
  ASSERT_EQ(sent.size(), 1U);
  const Value* shareOn = sent[0].parameters.find("shareOn");
  ASSERT_TRUE(shareOn && shareOn->asString());
  EXPECT_EQ(*shareOn->asString(), "[" + std::to_string(cid) + "]");
}

TEST_F(SocialSandboxTest, AFailedCommentIsRetriedAsACopy) {
  MRPlaylistTrackItem item;
  item.artist = "Nobody Anyone Has Heard Of";
  item.title = "Nothing";
  auto failed = std::make_shared<MRSubmitCommentForTrackOperation>(
      parts, sandbox.mirelune(), item, "Hello", std::vector<int64_t>{7});
  std::vector<std::shared_ptr<MRServiceOperation>> listed;
  serviceQueue->setStatusListRegistrar(
      [&listed](std::shared_ptr<MRServiceOperation> operation) { listed.push_back(operation); });
  failed->submit(*serviceQueue);
  ASSERT_TRUE(testEnv.pumpUntil([&failed] { return failed->isFinished(); }));
  EXPECT_EQ(failed->status(), kMRServiceOperationStatusFailed);
  EXPECT_TRUE(failed->lastError());
  EXPECT_FALSE(failed->wtid());
  EXPECT_EQ(listed.size(), 1U);

  auto again = std::dynamic_pointer_cast<MRSubmitCommentForTrackOperation>(failed->retry());
  ASSERT_TRUE(again);
  EXPECT_NE(again, failed);
  EXPECT_EQ(again->subjectTrackItem().artist, item.artist);
  EXPECT_EQ(again->subjectTrackItem().title, item.title);
  EXPECT_EQ(again->subjectComment(), "Hello");
  EXPECT_EQ(again->subjectShareOn(), (std::vector<int64_t>{7}));
  ASSERT_TRUE(testEnv.pumpUntil([&again] { return again->isFinished(); }));
  EXPECT_EQ(again->status(), kMRServiceOperationStatusFailed);
  EXPECT_TRUE(failed->isFinished());
  EXPECT_EQ(failed->status(), kMRServiceOperationStatusFailed);
}

// ---- Today's artists

struct TodaysArtistsTest : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);

  void addRecommendArtists(int count) {
    CDArtistEntityController artists(store.get());
    CDRecommendArtistEntityController recommended(artists.context());
    for (int i = 0; i < count; ++i) {
      const std::string name = "Artist " + std::to_string(i);
      auto artist = artists.insertNewObject();
      artist->setName(name);
      artist->setItemHash(CDUtility::itemHashWithTitle("", name));
      auto record = recommended.insertNewObject();
      record->setItemHash(artist->itemHash());
      record->setArtist(artist.get());
    }
    ASSERT_TRUE(artists.save().ok());
  }
  std::vector<std::string> hashesOf(const MRTodaysArtistsController& controller) {
    std::vector<std::string> hashes;
    for (const auto& artist : controller.recommendArtists())
      hashes.push_back(artist->itemHash().value_or(""));
    return hashes;
  }
  std::optional<std::vector<std::string>> saved() {
    return MRUserDefaults(testEnv.settings(), testEnv.dir().path())
        .itemHashesOfLastTodaysArtistsShown();
  }
};

TEST_F(TodaysArtistsTest, FewerThanThreeAreShownButNotKept) {
  addRecommendArtists(2);
  MRTodaysArtistsController controller(testEnv.env(), store.get());
  EXPECT_TRUE(controller.selectTodaysArtistsWithForce(false));
  EXPECT_EQ(controller.recommendArtists().size(), 2U);
  EXPECT_TRUE(controller.selectTodaysArtistsWithForce(false));
  EXPECT_FALSE(saved());
}

TEST_F(TodaysArtistsTest, KeptForTheDayUnlessDeletedOrForced) {
  addRecommendArtists(12);
  MRTodaysArtistsController first(testEnv.env(), store.get());
  EXPECT_TRUE(first.selectTodaysArtistsWithForce(false));
  const auto chosen = hashesOf(first);
  ASSERT_EQ(chosen.size(), 3U);
  EXPECT_EQ(saved(), chosen);
  EXPECT_EQ(std::set<std::string>(chosen.begin(), chosen.end()).size(), 3U);

  // Later the same day, in another run: the same three in the same order.
  testEnv.clock().setDate(testEnv.clock().currentDate().addingSeconds(60));
  MRTodaysArtistsController later(testEnv.env(), store.get());
  EXPECT_FALSE(later.selectTodaysArtistsWithForce(false));
  EXPECT_EQ(hashesOf(later), chosen);

  // Forced: a new choice even today.
  MRTodaysArtistsController forced(testEnv.env(), store.get());
  EXPECT_TRUE(forced.selectTodaysArtistsWithForce(true));
  const auto forcedChoice = hashesOf(forced);
  EXPECT_EQ(saved(), forcedChoice);

  // One of them deleted: chosen anew on the same day.
  {
    CDRecommendArtistEntityController recommended(store.get());
    auto gone = recommended.findWithItemHash(forcedChoice[1]);
    ASSERT_TRUE(gone);
    recommended.deleteObject(*gone);
    ASSERT_TRUE(recommended.save().ok());
  }
  MRTodaysArtistsController afterDelete(testEnv.env(), store.get());
  EXPECT_FALSE(afterDelete.selectTodaysArtistsWithForce(false));
  EXPECT_EQ(afterDelete.recommendArtists().size(), 3U);
  const auto renewed = hashesOf(afterDelete);
  EXPECT_EQ(std::count(renewed.begin(), renewed.end(), forcedChoice[1]), 0);
  EXPECT_EQ(saved(), renewed);
}

TEST_F(TodaysArtistsTest, TheSameDayAYearLaterCountsAsToday) {
  addRecommendArtists(5);
  MRTodaysArtistsController controller(testEnv.env(), store.get());
  EXPECT_TRUE(controller.selectTodaysArtistsWithForce(false));
  const Date start = testEnv.clock().currentDate();
  Date yearLater = start.addingSeconds(365 * 24 * kHour);
  if (dayOfYear(yearLater) != dayOfYear(start)) yearLater = yearLater.addingSeconds(24 * kHour);
  ASSERT_EQ(dayOfYear(yearLater), dayOfYear(start));
  testEnv.clock().setDate(yearLater);
  EXPECT_FALSE(controller.shouldSelectArtistsForToday());
  EXPECT_FALSE(controller.selectTodaysArtistsWithForce(false));
  testEnv.clock().setDate(yearLater.addingSeconds(24 * kHour));
  EXPECT_TRUE(controller.shouldSelectArtistsForToday());
  EXPECT_TRUE(controller.selectTodaysArtistsWithForce(false));
}

TEST(PlaylistViewControllerFactoryTest, TopTrackMixesGetTheirOwnView) {
  test::TestEnv testEnv;
  MRMixParts parts;
  parts.recommend.env = &testEnv.env();
  auto topTracks = std::make_shared<MRArtistTopTrackMix>(parts, "Someone");
  auto similar = std::make_shared<MRSimilarTrackMix>(parts, "Someone", "Something");
  const auto top = MRPlaylistViewControllerFactory::playlistViewControllerForPlaylist(topTracks);
  EXPECT_EQ(top.kind, MRPlaylistViewKind::ArtistTopTrackMix);
  EXPECT_EQ(top.playlist, topTracks);
  const auto general = MRPlaylistViewControllerFactory::playlistViewControllerForPlaylist(similar);
  EXPECT_EQ(general.kind, MRPlaylistViewKind::General);
}

}  // namespace
}  // namespace mr
