#include <gtest/gtest.h>

#include <map>
#include <algorithm>
#include <set>

#include <filesystem>
#include <thread>

#include "base/FileUtil.h"
#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperationDelegateBridge.h"
#include "base/MRServiceOperationQueue.h"
#include "library/MRUploadUserTracksOperation.h"
#include "library/MRUserSongCheckOperation.h"
#include "support/LibraryFile.h"
#include "support/RawServer.h"
#include "support/SandboxSession.h"
#include "support/StoreFaults.h"

namespace mr {
namespace {

// Stands for the recommend mix build, so the check's call for one shows.
class MixBuildStandIn final : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {}
};

// The kind the check is told to ask for when tracks wait.
inline constexpr MRServiceOperationKind kSeedBuildKind{"SeedBuild"};

struct SongCheckFixture : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("data/mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  std::shared_ptr<MRNetworkOperationQueue> networkQueue =
      MRNetworkOperationQueue::create(testEnv.reachability());
  MRUserDefaults defaults{testEnv.settings(), testEnv.env().paths().home};
  std::string libraryPath = testEnv.dir().file("library.xml");
  std::atomic<int> mixBuilds{0};

  SongCheckFixture() {
    EXPECT_TRUE(defaults.setITunesMusicLibraryFilePath(libraryPath).ok());
    const Env& env = testEnv.env();
    serviceQueue->registerKind<MixBuildStandIn>(kSeedBuildKind, [this, &env] {
      ++mixBuilds;
      return std::make_shared<MixBuildStandIn>(env);
    });
  }
  ~SongCheckFixture() override {
    serviceQueue->waitUntilAllOperationsAreFinished();
    networkQueue->waitUntilAllOperationsAreFinished();
  }

  std::shared_ptr<MRUserSongCheckOperation> check(std::shared_ptr<MRAPIBase> api = nullptr) {
    return std::make_shared<MRUserSongCheckOperation>(
        testEnv.env(), store, networkQueue, api ? api : sandbox.mirelune(), kSeedBuildKind);
  }
  // Runs a check and its upload to their ends.
  std::shared_ptr<MRUserSongCheckOperation> runCheck(
      std::shared_ptr<MRUserSongCheckOperation> operation = nullptr) {
    if (!operation) operation = check();
    serviceQueue->addOperation(operation);
    operation->waitUntilFinished();
    if (auto upload = operation->uploadOperation()) upload->waitUntilFinished();
    serviceQueue->waitUntilAllOperationsAreFinished();  // the mix build it asked for
    return operation;
  }
  int64_t count(const EntityInfo& entity) { return store->newContext()->count(entity); }
  int64_t queued() { return count(CDTrackRecommendationQueueItem::entityInfo()); }
  size_t storedTable() { return MRUserTrackItemHashTable::initWithUserDefaults(defaults).size(); }
  // Upload files left in the caches folder.
  std::vector<std::string> leftovers() {
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(testEnv.env().paths().cacheDir, ignored)) {
      files.push_back(entry.path().filename().string());
    }
    return files;
  }
};

TEST_F(SongCheckFixture, TheFirstRunQueuesAndUploadsEveryTrack) {
  auto tracks = test::generatedTracks(250);
  tracks[3].artist = std::nullopt;
  test::writeLibrary(libraryPath, tracks);
  auto operation = check();
  auto bridge = std::make_shared<MRServiceOperationDelegateBridge>();
  float lastProgress = 0;
  std::vector<MRServiceOperationStatus> completions;
  bridge->progressBlock = [&](MRServiceOperation&, MRServiceOperationStatus, float progress) {
    lastProgress = progress;
  };
  bridge->completionBlock = [&](MRServiceOperation&, MRServiceOperationStatus status) {
    completions.push_back(status);
  };
  operation->setDelegate(bridge);
  std::atomic<int> progressChanges{0};
  operation->addObserver([&](MRServiceOperation&, std::string_view key) {
    if (key == "progress") ++progressChanges;
  });
  serviceQueue->addOperation(operation);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !completions.empty(); }));
  operation->uploadOperation()->waitUntilFinished();

  EXPECT_EQ(completions,
            (std::vector<MRServiceOperationStatus>{kMRServiceOperationStatusCompleted}));
  EXPECT_FLOAT_EQ(lastProgress, 1.0f);
  EXPECT_EQ(progressChanges, 250);  // one for each track of a small library
  EXPECT_EQ(operation->songTotal(), 250);
  EXPECT_EQ(operation->songQueued(), 250);
  EXPECT_EQ(testEnv.clock().totalSlept(), seconds(0.4));  // one pause, at 100
  EXPECT_EQ(count(CDTrackRecommendationQueueItem::entityInfo()), 250);
  EXPECT_EQ(count(CDTrackUsedForRecommendation::entityInfo()), 250);
  EXPECT_EQ(mixBuilds, 1);

  const auto uploaded = sandbox.server().uploadedTracks(sandbox.accountId());
  ASSERT_EQ(uploaded.size(), 250u);
  EXPECT_EQ(uploaded[3].stringForKey("artistName", "?"), "");
  EXPECT_EQ(defaults.numberOfUserSongs(), 250);
  EXPECT_EQ(MRUserTrackItemHashTable::initWithUserDefaults(defaults).size(), 250u);
}

TEST_F(SongCheckFixture, WithoutABuildKindTheCheckAsksForNoBuild) {
  test::writeLibrary(libraryPath, test::generatedTracks(30));
  const auto operation = runCheck(std::make_shared<MRUserSongCheckOperation>(
      testEnv.env(), store, networkQueue, sandbox.mirelune()));
  EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(queued(), 30);
  EXPECT_EQ(mixBuilds, 0);
}

TEST_F(SongCheckFixture, AnUnchangedLibraryIsNotExaminedAgain) {
  test::writeLibrary(libraryPath, test::generatedTracks(30));
  runCheck();
  ASSERT_EQ(defaults.numberOfUserSongs(), 30);
  const auto second = runCheck();
  EXPECT_EQ(second->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(second->uploadOperation(), nullptr);
  EXPECT_EQ(second->songChecked(), 0);
  EXPECT_EQ(sandbox.server().uploadedTracks(sandbox.accountId()).size(), 30u);
  EXPECT_EQ(mixBuilds, 2);  // the queue still holds items

  // New tracks: only they are uploaded, and the old ones are not queued twice.
  auto grown = test::generatedTracks(35);
  test::writeLibrary(libraryPath, grown);
  const auto third = runCheck();
  EXPECT_EQ(third->songQueued(), 5);
  EXPECT_EQ(sandbox.server().uploadedTracks(sandbox.accountId()).size(), 35u);
  EXPECT_EQ(count(CDTrackRecommendationQueueItem::entityInfo()), 35);
}

TEST_F(SongCheckFixture, AFailedUploadLeavesTheTableAndTheCountForNextTime) {
  test::writeLibrary(libraryPath, test::generatedTracks(40));
  sandbox.server().stop();
  const auto operation = runCheck();
  EXPECT_EQ(operation->songQueued(), 40);
  ASSERT_TRUE(std::dynamic_pointer_cast<MRUploadUserTracksOperation>(operation->uploadOperation())
                  ->lastError());
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);
  EXPECT_EQ(MRUserTrackItemHashTable::initWithUserDefaults(defaults).size(), 0u);
}

TEST_F(SongCheckFixture, ACancelledCheckKeepsWhatItQueued) {
  test::writeLibrary(libraryPath, test::generatedTracks(3000));
  auto operation = check();
  serviceQueue->addOperation(operation);
  while (operation->songChecked() < 50)
    std::this_thread::yield();
  operation->cancel();
  operation->waitUntilFinished();
  const int checked = operation->songChecked();
  EXPECT_LT(checked, 3000);
  EXPECT_EQ(count(CDTrackRecommendationQueueItem::entityInfo()), checked);
  EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
  if (auto upload = operation->uploadOperation()) upload->waitUntilFinished();
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);  // the next start checks again
}

TEST_F(SongCheckFixture, AnUnreadableLibraryEndsTheCheckWithItsError) {
  test::writeFile(libraryPath, "<plist><array/></plist>");
  defaults.setNumberOfUserSongs(5);
  const auto operation = runCheck();
  ASSERT_TRUE(operation->lastError());
  EXPECT_EQ(operation->lastError()->domain(), "mirelune");
  EXPECT_EQ(operation->lastError()->code(), 9000001);
  EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);
}

TEST_F(SongCheckFixture, AnEmptyLibraryStoresZeroAndUploadsNothing) {
  test::writeLibrary(libraryPath, {});
  defaults.setNumberOfUserSongs(5);
  const auto operation = runCheck();
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);
  EXPECT_TRUE(sandbox.server().uploadedTracks(sandbox.accountId()).empty());
}

TEST_F(SongCheckFixture, TheFirstHundredAreSavedAtOnceTheRestInLargeSteps) {
  test::writeLibrary(libraryPath, test::generatedTracks(6000));
  auto operation = check();
  // What another connection sees when progress reaches these counts.
  std::map<int32_t, int64_t> visibleAt;
  int progressChanges = 0;
  float lastProgress = 0;
  operation->addObserver([&](MRServiceOperation& changed, std::string_view key) {
    if (key != "progress") return;
    ++progressChanges;
    lastProgress = changed.progress();
    // At 100, at the next report, and at the first report past 5000.
    const int32_t checked = static_cast<MRUserSongCheckOperation&>(changed).songChecked();
    const int32_t mark = checked <= 100 ? checked : checked < 5000 ? 101 : 5000;
    if (mark >= 100 && visibleAt.count(mark) == 0) visibleAt[mark] = queued();
  });
  runCheck(operation);
  EXPECT_EQ(visibleAt, (std::map<int32_t, int64_t>{{100, 100}, {101, 100}, {5000, 5000}}));
  EXPECT_EQ(queued(), 6000);
  // A large library reports progress by thousandths, and at 100.
  EXPECT_GE(progressChanges, 1000);
  EXPECT_LE(progressChanges, 1002);
  EXPECT_FLOAT_EQ(lastProgress, 1.0f);
}

TEST_F(SongCheckFixture, TheUploadSendsTheLibraryTheCheckRead) {
  test::writeLibrary(libraryPath, test::generatedTracks(30));
  networkQueue->setMaxConcurrentOperationCount(0);  // the upload waits for the check
  auto operation = check();
  serviceQueue->addOperation(operation);
  operation->waitUntilFinished();
  const auto upload = operation->uploadOperation();
  ASSERT_TRUE(upload);
  // Reading the file again now would find no library at all.
  test::writeFile(libraryPath, "<plist><array/></plist>");
  networkQueue->setMaxConcurrentOperationCount(5);
  upload->waitUntilFinished();
  EXPECT_FALSE(upload->lastError()) << upload->lastError()->toString();
  EXPECT_EQ(sandbox.server().uploadedTracks(sandbox.accountId()).size(), 30u);
  EXPECT_EQ(storedTable(), 30u);
  EXPECT_EQ(defaults.numberOfUserSongs(), 30);
}

TEST_F(SongCheckFixture, AnUploadTheServiceDidNotTakeIsAnErrorAndIsSentNextTime) {
  test::writeLibrary(libraryPath, test::generatedTracks(40));
  const std::vector<std::string> replies = {
      "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 7\r\n\r\ngarbage",
      "",  // the connection closes without an answer
  };
  for (const auto& reply : replies) {
    test::RawServer server(reply);
    const auto operation = runCheck(
        check(std::make_shared<MRAPIBase>(testEnv.env(), sandbox.engine(), server.url(""))));
    EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
    const auto upload = operation->uploadOperation();
    ASSERT_TRUE(upload);
    EXPECT_TRUE(upload->lastError()) << reply;
    EXPECT_EQ(upload->uploadedCount(), 0u);
    EXPECT_GE(server.connections(), 1);
    EXPECT_EQ(defaults.numberOfUserSongs(), 0);
    EXPECT_EQ(storedTable(), 0u);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
  }
  EXPECT_EQ(queued(), 40);  // queued once, whatever the upload did
  const auto next = runCheck();
  EXPECT_FALSE(next->uploadOperation()->lastError());
  EXPECT_EQ(sandbox.server().uploadedTracks(sandbox.accountId()).size(), 40u);
  EXPECT_EQ(defaults.numberOfUserSongs(), 40);
  EXPECT_EQ(storedTable(), 40u);
}

TEST_F(SongCheckFixture, EachUploadWritesAFileOfItsOwnAndRemovesIt) {
  std::set<std::string> paths;
  for (int tracks : {10, 20}) {
    test::writeLibrary(libraryPath, test::generatedTracks(tracks));
    const auto upload = runCheck()->uploadOperation();
    ASSERT_TRUE(upload);
    EXPECT_FALSE(upload->lastError());
    const std::string path = upload->tempFilePath();
    EXPECT_EQ(parentDirectory(path), testEnv.env().paths().cacheDir);
    EXPECT_FALSE(fileExists(path));
    paths.insert(path);
  }
  EXPECT_EQ(paths.size(), 2u);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});

  // Two uploads at the same time do not write into one file.
  auto first = std::make_shared<MRUploadUserTracksOperation>(testEnv.env(), sandbox.mirelune());
  auto second = std::make_shared<MRUploadUserTracksOperation>(testEnv.env(), sandbox.mirelune());
  test::writeLibrary(libraryPath, test::generatedTracks(30));
  networkQueue->addOperation(first);
  networkQueue->addOperation(second);
  first->waitUntilFinished();
  second->waitUntilFinished();
  EXPECT_FALSE(first->lastError());
  EXPECT_FALSE(second->lastError());
  EXPECT_NE(first->tempFilePath(), second->tempFilePath());
  // The one that starts after the other has ended finds nothing new.
  EXPECT_EQ(std::max(first->uploadedCount(), second->uploadedCount()), 10u);
}

TEST_F(SongCheckFixture, AnUploadFileThatCannotBeWrittenIsAnError) {
  test::writeLibrary(libraryPath, test::generatedTracks(20));
  // The caches folder would have to be inside a plain file.
  test::writeFile(testEnv.dir().file("plain"), "");
  Paths paths = testEnv.env().paths();
  paths.cacheDir = testEnv.dir().file("plain/cache");
  Env env(testEnv.clock(), testEnv.dispatcher(), testEnv.pool(), testEnv.reachability(),
          testEnv.settings(), AppConfig{}, paths);
  const auto operation = runCheck(
      std::make_shared<MRUserSongCheckOperation>(env, store, networkQueue, sandbox.mirelune()));
  EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
  const auto upload = operation->uploadOperation();
  ASSERT_TRUE(upload);
  ASSERT_TRUE(upload->lastError());
  EXPECT_NE(upload->lastError()->toString().find("plain"), std::string::npos)
      << upload->lastError()->toString();
  EXPECT_TRUE(sandbox.server().uploadedTracks(sandbox.accountId()).empty());
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);
  EXPECT_EQ(storedTable(), 0u);
}

TEST_F(SongCheckFixture, ACheckThatCannotSaveItsTracksFailsAndStoresNothing) {
  // The disk is full from the start, or fills up after the first save.
  for (const int64_t room : {int64_t{0}, int64_t{60}}) {
    test::TempDir fresh;
    store = *Database::open(fresh.file("mirelune.sqlite"), Database::OpenMode::AsIs);
    defaults.setNumberOfUserSongs(0);
    ASSERT_TRUE(defaults.setUserTrackItemHashTable(std::nullopt).ok());
    test::writeLibrary(libraryPath, test::generatedTracks(6000));
    test::fillDisk(*store, room);
    const auto operation = runCheck();
    EXPECT_EQ(operation->status(), kMRServiceOperationStatusFailed) << room;
    ASSERT_TRUE(operation->lastError()) << room;
    EXPECT_LT(operation->songChecked(), 6000);  // it stopped at the failed save
    EXPECT_EQ(queued(), room == 0 ? 0 : 100);
    EXPECT_EQ(defaults.numberOfUserSongs(), 0);
    EXPECT_EQ(storedTable(), 0u);

    // With room again the next start does it all.
    test::freeDisk(*store);
    const auto next = runCheck();
    EXPECT_EQ(next->status(), kMRServiceOperationStatusCompleted);
    EXPECT_FALSE(next->lastError());
    EXPECT_EQ(queued(), 6000);
    EXPECT_EQ(defaults.numberOfUserSongs(), 6000);
    EXPECT_EQ(storedTable(), 6000u);
  }
}

}  // namespace
}  // namespace mr
