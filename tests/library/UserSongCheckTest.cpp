#include <gtest/gtest.h>

#include <thread>

#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperationDelegateBridge.h"
#include "base/MRServiceOperationQueue.h"
#include "library/MRUploadUserTracksOperation.h"
#include "library/MRUserSongCheckOperation.h"
#include "support/LibraryFile.h"
#include "support/SandboxSession.h"

namespace mr {
namespace {

// Stands for the recommend mix build, so the check's call for one shows.
class MixBuildStandIn final : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {}
};

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
    serviceQueue->registerKind<MixBuildStandIn>(MRServiceOperationKind::RecommendMixBuild,
                                                [this, &env] {
                                                  ++mixBuilds;
                                                  return std::make_shared<MixBuildStandIn>(env);
                                                });
  }
  ~SongCheckFixture() override {
    serviceQueue->waitUntilAllOperationsAreFinished();
    networkQueue->waitUntilAllOperationsAreFinished();
  }

  std::shared_ptr<MRUserSongCheckOperation> check() {
    return std::make_shared<MRUserSongCheckOperation>(testEnv.env(), store, networkQueue,
                                                      sandbox.mirelune());
  }
  // Runs a check and its upload to their ends.
  std::shared_ptr<MRUserSongCheckOperation> runCheck() {
    auto operation = check();
    serviceQueue->addOperation(operation);
    operation->waitUntilFinished();
    if (auto upload = operation->uploadOperation()) upload->waitUntilFinished();
    return operation;
  }
  int64_t count(const EntityInfo& entity) { return store->newContext()->count(entity); }
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
  serviceQueue->addOperation(operation);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !completions.empty(); }));
  operation->uploadOperation()->waitUntilFinished();

  EXPECT_EQ(completions,
            (std::vector<MRServiceOperationStatus>{kMRServiceOperationStatusCompleted}));
  EXPECT_FLOAT_EQ(lastProgress, 1.0f);
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

}  // namespace
}  // namespace mr
