#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/MRNetworkOperationQueue.h"
#include "base/MRPlaylistBuildOperation.h"
#include "base/MRServiceOperationDelegateBridge.h"
#include "base/MRServiceOperationQueue.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// Records every delegate call as "progress status progress" or "complete status".
struct Recorder final : MRServiceOperationDelegate {
  std::vector<std::string> calls;
  void serviceOperationDidGetProgress(MRServiceOperation&, MRServiceOperationStatus status,
                                      float progress) override {
    calls.push_back("progress " + std::to_string(status) + " " +
                    std::to_string(progress).substr(0, 3));
  }
  void serviceOperationDidComplete(MRServiceOperation&, MRServiceOperationStatus status) override {
    calls.push_back("complete " + std::to_string(status));
  }
};

// A job that runs until told to finish.
class Job : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {
    MRServiceOperation::main();
    setStatus(kMRServiceOperationStatusProcessing);
    waitFor(Clock::real(), kNoDeadline, [this] { return finish_.load(); });
    setStatus(kMRServiceOperationStatusCompleted);
  }
  void finish() {
    finish_ = true;
    wake();
  }

 private:
  std::atomic<bool> finish_{false};
};
class SongCheckJob final : public Job {
  using Job::Job;
};
class SpecialSongCheckJob final : public Job {
  using Job::Job;
};
class MixBuildJob final : public Job {
  using Job::Job;
};

class CachingJob final : public MRRetryableNetworkOperation, public MRFavoriteTrackCaching {
 public:
  CachingJob(const Env& env, std::string hash)
      : MRRetryableNetworkOperation(env), hash_(std::move(hash)) {}
  std::string subjectFavoriteTrackItemHash() const override { return hash_; }
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override {
    return std::make_shared<CachingJob>(env(), hash_);
  }

 private:
  std::string hash_;
};

struct ServiceOperationFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();

  std::shared_ptr<MRServiceOperation> operation() {
    auto op = std::make_shared<MRRetryableNetworkOperation>(testEnv.env());
    op->setDelegate(recorder);
    return op;
  }
};

TEST_F(ServiceOperationFixture, StatusChangesYieldProgressThenCompletion) {
  auto op = operation();
  op->setStatus(kMRServiceOperationStatusProcessing);
  op->setStatus(kMRServiceOperationStatusProcessing);  // no change, no call
  testEnv.dispatcher().pump();
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"progress 1 0.0"}));

  recorder->calls.clear();
  op->setStatus(kMRServiceOperationStatusFailed);
  testEnv.dispatcher().pump();
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"progress 12 0.0", "complete 12"}));
}

TEST_F(ServiceOperationFixture, FavoriteCachingCodesCountAsFinishing) {
  auto op = operation();
  op->setStatus(kMRCacheFavoriteTrackOperationStatusDownloading);
  testEnv.dispatcher().pump();
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"progress 103 0.0", "complete 103"}));
}

TEST_F(ServiceOperationFixture, CallsReadValuesWhenDelivered) {
  auto op = operation();
  op->setProgress(0.5f);
  op->setStatus(kMRServiceOperationStatusProcessing);
  op->setProgress(0.7f);
  op->setProgress(0.7f);
  testEnv.dispatcher().pump();
  EXPECT_EQ(recorder->calls,
            (std::vector<std::string>{"progress 1 0.7", "progress 1 0.7", "progress 1 0.7"}));
}

TEST_F(ServiceOperationFixture, NoDelegateMeansNothingIsPosted) {
  auto op = std::make_shared<MRServiceOperation>(testEnv.env());
  op->setStatus(kMRServiceOperationStatusCompleted);
  op->setProgress(1.0f);
  EXPECT_EQ(testEnv.dispatcher().pendingCount(), 0u);
}

TEST_F(ServiceOperationFixture, ADelegateThatWentAwayIsNotCalled) {
  auto op = operation();
  op->setStatus(kMRServiceOperationStatusCompleted);
  recorder.reset();
  EXPECT_NO_FATAL_FAILURE(testEnv.dispatcher().pump());
}

TEST_F(ServiceOperationFixture, BridgeForwardsToItsBlocks) {
  auto bridge = std::make_shared<MRServiceOperationDelegateBridge>();
  std::vector<MRServiceOperationStatus> completions;
  float lastProgress = -1;
  bridge->progressBlock = [&](MRServiceOperation&, MRServiceOperationStatus, float progress) {
    lastProgress = progress;
  };
  bridge->completionBlock = [&](MRServiceOperation&, MRServiceOperationStatus status) {
    completions.push_back(status);
  };
  auto op = std::make_shared<MRServiceOperation>(testEnv.env());
  op->setDelegate(bridge);
  op->setProgress(0.25f);
  op->setStatus(kMRServiceOperationStatusCompleted);
  testEnv.dispatcher().pump();
  EXPECT_FLOAT_EQ(lastProgress, 0.25f);
  EXPECT_EQ(completions, (std::vector<MRServiceOperationStatus>{2}));
}

TEST_F(ServiceOperationFixture, ObserversSeeKeysOnTheChangingThread) {
  auto build = std::make_shared<MRPlaylistBuildOperation>(testEnv.env());
  std::vector<std::string> keys;
  build->addObserver([&](MRServiceOperation&, std::string_view key) { keys.emplace_back(key); });
  build->setStatus(kMRServiceOperationStatusProcessing);
  build->setProgress(0.5f);
  build->setLocatingTrackTitle("Song");
  EXPECT_EQ(keys, (std::vector<std::string>{"status", "progress", "locatingTrackTitle"}));
  EXPECT_EQ(build->locatingTrackTitle(), "Song");
}

TEST_F(ServiceOperationFixture, RetryOnlyAfterTheOperationFinished) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  queue->setMaxConcurrentOperationCount(0);
  auto op = std::make_shared<CachingJob>(testEnv.env(), "abc");
  queue->addOperation(op);
  EXPECT_EQ(op->retry(), nullptr);
  EXPECT_EQ(queue->operationCount(), 1u);
  queue->setMaxConcurrentOperationCount(1);
  op->waitUntilFinished();
  queue->setMaxConcurrentOperationCount(0);
  auto again = op->retry();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, op);
  EXPECT_EQ(std::dynamic_pointer_cast<CachingJob>(again)->subjectFavoriteTrackItemHash(), "abc");
  EXPECT_EQ(queue->operations().front(), again);
}

TEST_F(ServiceOperationFixture, OnePerKindFactories) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  EXPECT_EQ(queue->addUserSongCheckOperation(), nullptr);  // nothing registered yet
  const Env& env = testEnv.env();
  queue->registerKind<SongCheckJob>(MRServiceOperationKind::UserSongCheck,
                                    [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->registerKind<MixBuildJob>(MRServiceOperationKind::RecommendMixBuild,
                                   [&env] { return std::make_shared<MixBuildJob>(env); });

  auto first = std::dynamic_pointer_cast<SongCheckJob>(queue->addUserSongCheckOperation());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(queue->addUserSongCheckOperation(), nullptr);
  EXPECT_NE(queue->addRecommendMixBuildOperation(), nullptr);
  EXPECT_EQ(queue->operationCount(), 2u);
  EXPECT_EQ(queue->operationRunningForClass<SongCheckJob>(), first);
  EXPECT_TRUE(queue->checkOperationRunningForClass<Job>());
  EXPECT_EQ(queue->operationRunningForKind(MRServiceOperationKind::UserSongCheck), first);

  for (const auto& op : queue->operations())
    std::static_pointer_cast<Job>(op)->finish();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_NE(queue->addUserSongCheckOperation(), nullptr);  // the first is gone: a new one
  for (const auto& op : queue->operations())
    std::static_pointer_cast<Job>(op)->finish();
  queue->waitUntilAllOperationsAreFinished();
}

TEST_F(ServiceOperationFixture, ASubclassCountsAsItsKind) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  const Env& env = testEnv.env();
  queue->registerKind<Job>(MRServiceOperationKind::UserSongCheck,
                           [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->setMaxConcurrentOperationCount(0);
  queue->addOperation(std::make_shared<SpecialSongCheckJob>(env));
  EXPECT_EQ(queue->addUserSongCheckOperation(), nullptr);
  queue->cancelAllOperations();
}

TEST_F(ServiceOperationFixture, QueueChangesReachTheDelegateOnTheMainThread) {
  struct Watcher final : MRServiceOperationQueueDelegate {
    int calls = 0;
    void serviceOperationQueueHasChangedOperations(MRServiceOperationQueue&) override { ++calls; }
  };
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  auto watcher = std::make_shared<Watcher>();
  queue->setDelegate(watcher);
  queue->setMaxConcurrentOperationCount(0);
  queue->addOperation(std::make_shared<MRServiceOperation>(testEnv.env()));
  EXPECT_EQ(watcher->calls, 0);  // only on the main thread
  testEnv.dispatcher().pump();
  EXPECT_EQ(watcher->calls, 1);
  queue->cancelAllOperations();
  testEnv.dispatcher().pump();
  EXPECT_EQ(watcher->calls, 2);
}

TEST_F(ServiceOperationFixture, CachingJobsAreFoundByItemHash) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  EXPECT_EQ(queue->addCacheFavoriteTrackOperationWithItemHash("aa"), nullptr);
  std::vector<std::string> listed;
  const Env& env = testEnv.env();
  queue->setCacheOperationFactory(
      [&env](const std::string& hash) { return std::make_shared<CachingJob>(env, hash); });
  queue->setStatusListRegistrar([&](std::shared_ptr<MRServiceOperation> op) {
    listed.push_back(std::dynamic_pointer_cast<CachingJob>(op)->subjectFavoriteTrackItemHash());
  });
  queue->setMaxConcurrentOperationCount(0);
  auto a = queue->addCacheFavoriteTrackOperationWithItemHash("aa");
  auto b = queue->addCacheFavoriteTrackOperationWithItemHash("bb");
  EXPECT_EQ(queue->cacheOperationForItemHash("bb"), b);
  EXPECT_EQ(queue->cacheOperationForItemHash("aa"), a);
  EXPECT_EQ(queue->cacheOperationForItemHash("cc"), nullptr);
  EXPECT_EQ(listed, (std::vector<std::string>{"aa", "bb"}));
  queue->cancelAllOperations();
}

TEST_F(ServiceOperationFixture, NetworkQueueWidthFollowsReachability) {
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWiFi);
  auto queue = MRNetworkOperationQueue::create(testEnv.reachability());
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 5);
  const std::pair<NetworkStatus, int> expectations[] = {{NetworkStatus::ReachableViaWWAN, 3},
                                                        {NetworkStatus::NotReachable, 0},
                                                        {NetworkStatus::ReachableViaWired, 5},
                                                        {NetworkStatus::ReachableViaWiFi, 5}};
  for (const auto& [status, width] : expectations) {
    testEnv.reachability().setStatus(status);
    testEnv.dispatcher().pump();  // change notices arrive on the main thread
    EXPECT_EQ(queue->maxConcurrentOperationCount(), width) << toString(status);
  }
}

TEST_F(ServiceOperationFixture, OfflineNetworkQueueLetsRunningStepsFinishAndHoldsNewOnes) {
  auto queue = MRNetworkOperationQueue::create(testEnv.reachability());
  auto running = std::make_shared<Job>(testEnv.env());
  queue->addNetworkOperation(running, QueuePriority::High);
  while (running->status() != kMRServiceOperationStatusProcessing)
    std::this_thread::yield();

  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  testEnv.dispatcher().pump();
  auto waiting = std::make_shared<Job>(testEnv.env());
  queue->addNetworkOperation(waiting, QueuePriority::Low);
  running->finish();
  running->waitUntilFinished();
  EXPECT_EQ(waiting->status(), kMRServiceOperationStatusWaiting);
  EXPECT_EQ(waiting->queuePriority(), QueuePriority::Low);

  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWWAN);
  testEnv.dispatcher().pump();
  waiting->finish();
  waiting->waitUntilFinished();
  EXPECT_EQ(waiting->status(), kMRServiceOperationStatusCompleted);
}

TEST(StatusTextTest, KeysOfTheStatusCodes) {
  EXPECT_STREQ(statusTextKey(kMRServiceOperationStatusCanceled),
               "kMRServiceOperationStatusCanceled");
  EXPECT_STREQ(statusTextKey(kMRCacheFavoriteTrackOperationStatusExtracting),
               "kMRCacheFavoriteTrackOperationStatusExtracting");
  EXPECT_STREQ(statusTextKey(kMRServiceOperationStatusFailed), "");
}

}  // namespace
}  // namespace mr
