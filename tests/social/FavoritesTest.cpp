// Favorites against the in-process sandbox: caching a favorite's preview
// and artwork (with a fake audio extractor), the caching lock, the sync of
// the service's favorites, and reporting a new favorite.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/FileUtil.h"
#include "base/MRUserDefaults.h"
#include "model/CDUtility.h"
#include "service/MRAPIFavoriteTrack.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "social/MRFavoriteTrackOperation.h"
#include "social/MRSyncFavoriteTracksOperation.h"
#include "store/CDFavoriteTrack.h"
#include "support/FakeAudioExtractor.h"
#include "support/FileFaults.h"
#include "support/SandboxRecommendParts.h"
#include "support/SandboxSession.h"

namespace mr {
namespace {

using sandbox::CatalogueTrack;
using sandbox::StoreListing;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

struct FavoritesTest : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  std::shared_ptr<test::FakeAudioExtractor> extractor =
      std::make_shared<test::FakeAudioExtractor>();
  MRFavoriteCacheParts cache;

  FavoritesTest() {
    cache.recommend = test::sandboxRecommendParts(testEnv, sandbox, store, network);
    cache.engine = sandbox.engine();
    cache.extractor = extractor;
    cache.lock = std::make_shared<MRFavoriteCachingLock>();
    cache.favoriteCacheFolder = testEnv.dir().file("FavoriteTrack");
  }
  // Whatever holds the sandbox's engine lets go before the sandbox stops.
  ~FavoritesTest() override {
    serviceQueue->cancelAllOperations();
    network->cancelAllOperations();
    testEnv.pumpUntil(
        [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
    testEnv.dispatcher().pump();
    cache = MRFavoriteCacheParts();
  }

  const sandbox::MusicCatalogue& catalogue() { return sandbox.server().catalogue(); }
  std::string folder() const { return cache.favoriteCacheFolder; }

  const CatalogueTrack& trackWhere(const std::function<bool(const CatalogueTrack&)>& wanted) {
    for (const auto& track : catalogue().tracks()) {
      if (wanted(track)) return track;
    }
    ADD_FAILURE() << "no such track in the catalogue";
    return catalogue().tracks().front();
  }
  bool hasPlayableVideo(const CatalogueTrack& track) {
    return track.musicVideo >= 0 &&
           !catalogue().videos()[static_cast<size_t>(track.musicVideo)].restricted;
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
    info->setLink(sandbox.server().baseUrl() +
                  "/watch?v=" + catalogue().videos()[static_cast<size_t>(track.musicVideo)].id);
    source.additionalInfo = info;
    return source;
  }
  // Stores the favorite; returns its item hash.
  std::string favorite(const CatalogueTrack& track, std::vector<MRPreviewDataSource> sources,
                       std::string imageUrl = {}) {
    MRPlaylistTrackItem item;
    item.title = track.title;
    item.artist = catalogue().artistOf(track).name;
    item.imageUrl = std::move(imageUrl);
    item.previewDataSourceSet = std::move(sources);
    CDFavoriteTrackEntityController favorites(store.get());
    EXPECT_TRUE(favorites.addWithPlaylistTrack(item, Date{1000}).ok());
    return CDUtility::itemHashWithTitle(item.title, item.artist);
  }
  std::shared_ptr<MRCacheFavoriteTrackOperation> caching(const std::string& hash) {
    return std::make_shared<MRCacheFavoriteTrackOperation>(cache, hash);
  }
  std::shared_ptr<MRCacheFavoriteTrackOperation> cacheNow(const std::string& hash) {
    auto job = caching(hash);
    serviceQueue->addOperation(job);
    EXPECT_TRUE(testEnv.pumpUntil([&job] { return job->isFinished(); }));
    return job;
  }
  // The stored favorite's cached file name and artwork address.
  struct Cached {
    std::optional<std::string> file;
    std::optional<std::string> image;
    size_t sources = 0;
  };
  Cached cachedOf(const std::string& hash) {
    CDFavoriteTrackEntityController favorites(store.get());
    auto record = favorites.findOneWithItemHash(hash);
    Cached cached;
    if (!record) return cached;
    if (auto source = record->localCachePreviewDataSource()) cached.file = source->previewUrl();
    cached.image = record->cachedImageUrl();
    cached.sources = record->previewDataSourceSet().size();
    return cached;
  }
  std::vector<std::string> filesInCache() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// ------------------------------------------------------------ file names

TEST(FavoriteCacheNames, ExtensionsAreShortAndAlphanumericElseMp4) {
  using favoritecache::audioExtension;
  using favoritecache::extensionOfUrl;
  EXPECT_EQ(audioExtension("http://h.test/preview/123"), "mp4");        // none
  EXPECT_EQ(audioExtension("http://h.test/preview/123.abcde"), "mp4");  // five characters
  EXPECT_EQ(audioExtension("http://h.test/preview/123.m4a"), "m4a");
  EXPECT_EQ(audioExtension("http://h.test/preview/123.m4a?x=a.webm#t.ogg"), "m4a");
  EXPECT_EQ(audioExtension("http://h.test/a.mp3/stream"), "mp4");  // a folder's dot
  EXPECT_EQ(audioExtension("http://h.test/x.m/../../evil"), "mp4");
  EXPECT_EQ(audioExtension("http://h.test/x.%2f%2e"), "mp4");
  EXPECT_EQ(audioExtension("http://h.test/x./"), "mp4");
  EXPECT_EQ(audioExtension("http://h.test.m4a"), "mp4");  // the host's dot
  EXPECT_FALSE(extensionOfUrl("http://art.test/cover"));
  EXPECT_EQ(extensionOfUrl("http://art.test/cover.JPG"), "JPG");

  const std::string hash = CDUtility::itemHashWithTitle("Song", "Band");
  EXPECT_TRUE(favoritecache::isItemHash(hash));
  EXPECT_FALSE(favoritecache::isItemHash("../../" + hash.substr(6)));
  EXPECT_TRUE(favoritecache::isCacheFileName(hash + "-audio.m4a"));
  EXPECT_TRUE(favoritecache::isCacheFileName(hash + "-image"));
  EXPECT_FALSE(favoritecache::isCacheFileName(hash + "-audio"));
  EXPECT_FALSE(favoritecache::isCacheFileName(hash + "-audio.m4a/../x"));
  EXPECT_FALSE(favoritecache::isCacheFileName(".."));
  EXPECT_FALSE(favoritecache::isCacheFileName("notes.txt"));
}

// ------------------------------------------------------------ caching

TEST_F(FavoritesTest, AStorePreviewIsCachedWithItsExtensionAndPlaysFromTheCache) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const std::string hash = favorite(track, {storeSource(track)});
  std::vector<std::pair<MRServiceOperationStatus, float>> seen;
  auto job = caching(hash);
  job->addObserver([&seen](MRServiceOperation& op, std::string_view) {
    seen.emplace_back(op.status(), op.progress());
  });
  serviceQueue->addOperation(job);
  ASSERT_TRUE(testEnv.pumpUntil([&job] { return job->isFinished(); }));

  EXPECT_EQ(job->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(job->processingTrackTitle(), track.title);
  const Cached cached = cachedOf(hash);
  ASSERT_EQ(cached.file, hash + "-audio.m4a");
  EXPECT_EQ(cached.sources, 2u);
  EXPECT_GT(readAll(folder() + "/" + *cached.file).size(), 1000u);
  EXPECT_TRUE(extractor->calls().empty());
  EXPECT_EQ(filesInCache(), std::vector<std::string>{hash + "-audio.m4a"});
  // The steps in their order, the progress never going back.
  std::vector<MRServiceOperationStatus> steps;
  float last = 0;
  for (const auto& [status, progress] : seen) {
    if (steps.empty() || steps.back() != status) steps.push_back(status);
    EXPECT_GE(progress, last);
    last = progress;
  }
  EXPECT_EQ(steps, (std::vector<MRServiceOperationStatus>{101, 1, 102, 103, 104, 2}));

  // The favorites mix finds the file in the cache folder.
  CDFavoriteTrackEntityController favorites(store.get());
  MRFavoriteTrackMixTrackItem item;
  favorites.findOneWithItemHash(hash)->assignToPlaylistTrackItem(item, folder());
  EXPECT_TRUE(item.hasLocalCache());
}

TEST_F(FavoritesTest, TheVideoIsChosenOverTheStoreAndItsAudioExtractedElseTheVideoStays) {
  const auto& track = trackWhere([this](const CatalogueTrack& t) {
    return t.store == StoreListing::Song && hasPlayableVideo(t);
  });
  const std::string hash = favorite(track, {storeSource(track), videoSource(track)});
  auto job = cacheNow(hash);
  EXPECT_EQ(job->status(), kMRServiceOperationStatusCompleted);
  ASSERT_EQ(extractor->calls().size(), 1u);
  EXPECT_EQ(extractor->calls()[0].source, folder() + "/" + hash + "-audio.mp4");
  EXPECT_EQ(cachedOf(hash).file, hash + "-audio.m4a");
  EXPECT_EQ(filesInCache(), std::vector<std::string>{hash + "-audio.m4a"});  // the video went
  struct stat info {};
  ASSERT_EQ(::stat((folder() + "/" + hash + "-audio.m4a").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);

  // A failed extraction keeps the video as the cached preview.
  const auto& other = trackWhere([this, &track](const CatalogueTrack& t) {
    return t.index != track.index && hasPlayableVideo(t);
  });
  extractor->setFailure(Error("test", 1, "cannot convert"));
  const std::string otherHash = favorite(other, {videoSource(other)});
  cacheNow(otherHash);
  EXPECT_EQ(cachedOf(otherHash).file, otherHash + "-audio.mp4");
  EXPECT_TRUE(fileExists(folder() + "/" + otherHash + "-audio.mp4"));
  EXPECT_FALSE(fileExists(folder() + "/" + otherHash + "-audio.m4a"));
}

TEST_F(FavoritesTest, ArtworkThatIsAFileIsUsedInPlaceAndUncachingLeavesIt) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const std::string artwork = testEnv.dir().file("my cover.png");
  writeAll(artwork, "png");
  const std::string hash = favorite(track, {storeSource(track)}, "file://localhost" + artwork);
  cacheNow(hash);
  EXPECT_EQ(cachedOf(hash).image, "file://" + artwork);
  EXPECT_EQ(filesInCache(), std::vector<std::string>{hash + "-audio.m4a"});

  CDFavoriteTrackEntityController favorites(store.get());
  auto record = favorites.findOneWithItemHash(hash);
  favoritecache::uncache(*record, folder());
  ASSERT_TRUE(favorites.save().ok());
  EXPECT_TRUE(fileExists(artwork));
  EXPECT_TRUE(filesInCache().empty());
  EXPECT_FALSE(cachedOf(hash).file);
  EXPECT_FALSE(cachedOf(hash).image);
  EXPECT_EQ(cachedOf(hash).sources, 1u);
}

TEST_F(FavoritesTest, UncachingDeletesNothingOutsideTheCacheFolder) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  ASSERT_TRUE(makeDirectories(folder()).ok());
  const std::string hash = favorite(track, {storeSource(track)});
  const std::string outside = testEnv.dir().file(hash + "-audio.m4a");
  const std::string inside = folder() + "/" + hash + "-image.jpg";
  writeAll(outside, "the listener's");
  writeAll(inside, "ours");
  writeAll(folder() + "/notes.txt", "kept");
  for (const std::string& stored : {"../" + hash + "-audio.m4a", std::string("notes.txt"),
                                    "file://" + outside, std::string("..")}) {
    CDFavoriteTrackEntityController favorites(store.get());
    auto record = favorites.findOneWithItemHash(hash);
    auto source = CDPreviewDataSourceEntityController(favorites.context()).insertNewObject();
    source->setSourceID(int64_t{MRPreviewSourceIDLocalCache});
    source->setPreviewUrl(stored);
    source->setFavoriteTrack(record.get());
    record->setCachedImageUrl("file://" + outside);
    favoritecache::uncache(*record, folder());
    ASSERT_TRUE(favorites.save().ok());
  }
  EXPECT_EQ(readAll(outside), "the listener's");
  EXPECT_TRUE(fileExists(folder() + "/notes.txt"));
  EXPECT_TRUE(fileExists(inside));
  EXPECT_EQ(cachedOf(hash).sources, 1u);
}

TEST_F(FavoritesTest, AFullDiskGivesAClearErrorRemovesThePartsAndKeepsTheFavorite) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const std::string hash = favorite(track, {storeSource(track)});
  // Once through first, so the sandbox has made its media before the disk
  // fills.
  cacheNow(hash);
  {
    CDFavoriteTrackEntityController favorites(store.get());
    favoritecache::uncache(*favorites.findOneWithItemHash(hash), folder());
    ASSERT_TRUE(favorites.save().ok());
  }
  std::shared_ptr<MRCacheFavoriteTrackOperation> job;
  {
    test::FullDisk full;
    job = cacheNow(hash);
  }
  EXPECT_EQ(job->status(), kMRServiceOperationStatusCompleted);
  ASSERT_TRUE(job->lastError());
  EXPECT_NE(job->lastError()->description().find("disk full"), std::string::npos)
      << job->lastError()->toString();
  EXPECT_TRUE(filesInCache().empty());
  const Cached cached = cachedOf(hash);
  EXPECT_FALSE(cached.file);
  EXPECT_EQ(cached.sources, 1u);

  // Room again: it caches.
  cacheNow(hash);
  EXPECT_EQ(cachedOf(hash).file, hash + "-audio.m4a");
}

TEST_F(FavoritesTest, ABrokenDownloadResumesWithARangeWhereTheServerHonoursIt) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const std::string hash = favorite(track, {storeSource(track)});
  cacheNow(hash);
  const std::string path = folder() + "/" + hash + "-audio.m4a";
  const std::string whole = readAll(path);
  ASSERT_GT(whole.size(), 100u);
  {
    CDFavoriteTrackEntityController favorites(store.get());
    favoritecache::uncache(*favorites.findOneWithItemHash(hash), folder());
    ASSERT_TRUE(favorites.save().ok());
  }
  // What a broken transfer kept, marked so the test sees it was not asked
  // for again.
  const size_t kept = whole.size() / 2;
  writeAll(path + ".part", std::string(kept, 'x'));
  cacheNow(hash);
  const std::string resumed = readAll(path);
  ASSERT_EQ(resumed.size(), whole.size());
  EXPECT_EQ(resumed.substr(0, kept), std::string(kept, 'x'));
  EXPECT_EQ(resumed.substr(kept), whole.substr(kept));
  EXPECT_EQ(filesInCache(), std::vector<std::string>{hash + "-audio.m4a"});
}

// ------------------------------------------------------------ the lock

TEST_F(FavoritesTest, CachingJobsWaitAtStatus101UntilTheLockIsReleasedAndACancelLeaves101) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const std::string hash = favorite(track, {storeSource(track)});
  // A first caching job holds the lock.
  auto first = std::make_shared<BlockOperation>([] {});
  ASSERT_TRUE(cache.lock->tryAcquire(*first));
  auto second = caching(hash);
  auto third = caching(hash);
  serviceQueue->addOperation(second);
  serviceQueue->addOperation(third);
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return second->status() == kMRCacheFavoriteTrackOperationStatusWaiting &&
           third->status() == kMRCacheFavoriteTrackOperationStatusWaiting;
  }));
  // A second's turn passes: they still wait.
  testEnv.clock().advance(seconds(3));
  testEnv.dispatcher().pump();
  EXPECT_EQ(second->status(), kMRCacheFavoriteTrackOperationStatusWaiting);
  EXPECT_FALSE(second->isFinished());

  third->cancel();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return third->isFinished(); }));
  EXPECT_EQ(third->status(), kMRCacheFavoriteTrackOperationStatusWaiting);

  cache.lock->release();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return second->isFinished(); }));
  EXPECT_EQ(second->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(cachedOf(hash).file, hash + "-audio.m4a");
  EXPECT_FALSE(cache.lock->isHeld());
}

// ------------------------------------------------------------ sync

TEST_F(FavoritesTest, SyncAddsTheServicesMissingFavoritesItCanLocateAndSkipsTheRest) {
  const auto& known =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  const auto& local = trackWhere([&known](const CatalogueTrack& t) {
    return t.store == StoreListing::Song && t.index != known.index;
  });
  const std::string localHash = favorite(local, {storeSource(local)});
  MRAPIFavoriteTrack api(sandbox.mirelune());
  const auto addOnService = [&](const std::string& artist, const std::string& title) {
    MRPlaylistTrackItem item;
    item.artist = artist;
    item.title = title;
    std::atomic<bool> done{false};
    api.addWithPlaylistTrackItem(
        item, [&done](bool) { done = true; }, [&done](const Error&) { done = true; });
    ASSERT_TRUE(testEnv.pumpUntil([&done] { return done.load(); }));
  };
  addOnService(catalogue().artistOf(known).name, known.title);
  addOnService(catalogue().artistOf(local).name, local.title);
  addOnService("Nobody Anyone Has Heard Of", "A Song Nowhere To Be Found");

  auto sync = std::make_shared<MRSyncFavoriteTracksOperation>(cache.recommend, sandbox.mirelune());
  serviceQueue->addOperation(sync);
  ASSERT_TRUE(testEnv.pumpUntil([&sync] { return sync->isFinished(); }));
  EXPECT_EQ(sync->status(), kMRServiceOperationStatusCompleted);
  EXPECT_FALSE(sync->lastError());
  EXPECT_EQ(sync->favoriteTracks().size(), 3u);
  EXPECT_EQ(sync->compeltedTrackNum(), 1u);

  CDFavoriteTrackEntityController favorites(store.get());
  EXPECT_EQ(favorites.countAllItems(), 2);
  auto added = favorites.findOneWithArtist(catalogue().artistOf(known).name, known.title);
  ASSERT_TRUE(added);
  EXPECT_FALSE(added->previewDataSourceSet().empty());
  EXPECT_FALSE(added->localCachePreviewDataSource());  // not cached by the sync
  EXPECT_TRUE(favorites.findOneWithItemHash(localHash));
}

TEST_F(FavoritesTest, ASyncWithoutAnAccountEndsWithAnErrorAndNoChange) {
  auto signedOut = std::make_shared<MRSyncFavoriteTracksOperation>(cache.recommend, nullptr);
  serviceQueue->addOperation(signedOut);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return signedOut->isFinished(); }));
  EXPECT_EQ(signedOut->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(CDFavoriteTrackEntityController(store.get()).countAllItems(), 0);
}

// ------------------------------------------------------------ reporting

TEST_F(FavoritesTest, AFavoriteIsReportedAndSharedOnlyWithAutoSharingOn) {
  const auto& track =
      trackWhere([](const CatalogueTrack& t) { return t.store == StoreListing::Song; });
  auto connections = std::make_shared<ovloConnectionList>(testEnv.settings());
  connections->upsertWithItem(ovloConnectionItem{"facebook", "listener", 1, 77, std::nullopt});
  MRUserDefaults defaults(testEnv.settings(), testEnv.dir().path());
  const auto report = [&] {
    auto item = std::make_shared<MRFavoriteTrackMixTrackItem>();
    item->title = track.title;
    item->artist = catalogue().artistOf(track).name;
    item->previewDataSourceSet = {storeSource(track)};
    auto op = std::make_shared<MRFavoriteTrackOperation>(cache.recommend, sandbox.mirelune(), item,
                                                         connections);
    op->submit();
    EXPECT_TRUE(testEnv.pumpUntil([&op] { return op->isFinished(); }));
    return op;
  };

  ASSERT_TRUE(defaults.setAutoSharingOnFavorite(false).ok());
  sandbox.server().clearRecordedRequests();
  auto quiet = report();
  EXPECT_TRUE(quiet->added());
  EXPECT_TRUE(quiet->wtid());
  EXPECT_EQ(quiet->lastStep(), "share");
  EXPECT_EQ(sandbox.server().favoriteCount(sandbox.accountId()), 1);
  EXPECT_EQ(sandbox.server().recordedRequests("/favorite_track/share").size(), 0u);

  ASSERT_TRUE(defaults.setAutoSharingOnFavorite(true).ok());
  auto shared = report();
  EXPECT_TRUE(shared->added());
  const auto shares = sandbox.server().recordedRequests("/favorite_track/share");
  ASSERT_EQ(shares.size(), 1u);
}

}  // namespace
}  // namespace mr
