#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "base/Log.h"
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

// A retryable job about one subject, copied by duplicate().
class SubjectJob final : public MRRetryableNetworkOperation {
 public:
  SubjectJob(const Env& env, std::string subject)
      : MRRetryableNetworkOperation(env), subject_(std::move(subject)) {}
  const std::string& subject() const { return subject_; }
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override {
    return std::make_shared<SubjectJob>(env(), subject_);
  }

 private:
  std::string subject_;
};

// Kinds as the layers above declare them.
inline constexpr MRServiceOperationKind kCheckKind{"Check"};
inline constexpr MRServiceOperationKind kBuildKind{"Build"};
inline constexpr MRServiceOperationKind kNobodysKind{"Nobody registers this"};

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

TEST_F(ServiceOperationFixture, ASubclassesOwnCodesCountAsFinishing) {
  auto op = operation();
  op->setStatus(103);
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
  auto op = std::make_shared<SubjectJob>(testEnv.env(), "abc");
  queue->addOperation(op);
  EXPECT_EQ(op->retry(), nullptr);
  EXPECT_EQ(queue->operationCount(), 1u);
  queue->setMaxConcurrentOperationCount(1);
  op->waitUntilFinished();
  queue->setMaxConcurrentOperationCount(0);
  auto again = op->retry();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, op);
  EXPECT_EQ(std::dynamic_pointer_cast<SubjectJob>(again)->subject(), "abc");
  EXPECT_EQ(queue->operations().front(), again);
}

TEST_F(ServiceOperationFixture, OnePerKindFactories) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  EXPECT_EQ(queue->addOperationOfKind(kCheckKind), nullptr);  // nothing registered yet
  const Env& env = testEnv.env();
  queue->registerKind<SongCheckJob>(kCheckKind,
                                    [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->registerKind<MixBuildJob>(kBuildKind,
                                   [&env] { return std::make_shared<MixBuildJob>(env); });

  auto first = std::dynamic_pointer_cast<SongCheckJob>(queue->addOperationOfKind(kCheckKind));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(queue->addOperationOfKind(kCheckKind), nullptr);
  EXPECT_NE(queue->addOperationOfKind(kBuildKind), nullptr);
  EXPECT_EQ(queue->operationCount(), 2u);
  EXPECT_EQ(queue->operationRunningForClass<SongCheckJob>(), first);
  EXPECT_TRUE(queue->checkOperationRunningForClass<Job>());
  EXPECT_EQ(queue->operationRunningForKind(kCheckKind), first);

  for (const auto& op : queue->operations())
    std::static_pointer_cast<Job>(op)->finish();
  queue->waitUntilAllOperationsAreFinished();
  // The first is gone: a new one, prepared before it is queued (a job that
  // ends at once must already have its delegate); a refused one is not.
  std::vector<size_t> queuedWhenPrepared;
  const auto prepare = [&](MRServiceOperation&) {
    queuedWhenPrepared.push_back(queue->operationCount());
  };
  EXPECT_NE(queue->addOperationOfKind(kCheckKind, prepare), nullptr);
  EXPECT_EQ(queue->addOperationOfKind(kCheckKind, prepare), nullptr);
  EXPECT_EQ(queuedWhenPrepared, std::vector<size_t>{0});
  for (const auto& op : queue->operations())
    std::static_pointer_cast<Job>(op)->finish();
  queue->waitUntilAllOperationsAreFinished();
}

TEST_F(ServiceOperationFixture, KindsAreTheirNames) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  const Env& env = testEnv.env();
  queue->registerKind<SongCheckJob>(kCheckKind,
                                    [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->setMaxConcurrentOperationCount(0);
  // Declared apart from the registered constant, in another layer's header.
  constexpr MRServiceOperationKind sameName{"Check"};
  EXPECT_NE(queue->addOperationOfKind(sameName), nullptr);
  EXPECT_EQ(queue->addOperationOfKind(kCheckKind), nullptr);
  queue->cancelAllOperations();
}

TEST_F(ServiceOperationFixture, AnUnregisteredKindAddsNothingAndLogsNothing) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  const Env& env = testEnv.env();
  queue->registerKind<SongCheckJob>(kCheckKind,
                                    [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->setMaxConcurrentOperationCount(0);
  const auto level = log::level();
  log::setLevel(log::Level::Debug);
  ::testing::internal::CaptureStderr();
  const auto added = queue->addOperationOfKind(kNobodysKind);
  const auto running = queue->operationRunningForKind(kNobodysKind);
  const std::string logged = ::testing::internal::GetCapturedStderr();
  log::setLevel(level);
  EXPECT_EQ(added, nullptr);
  EXPECT_EQ(running, nullptr);
  EXPECT_EQ(queue->operationCount(), 0u);
  EXPECT_EQ(logged, "");
}

TEST_F(ServiceOperationFixture, ASubclassCountsAsItsKind) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  const Env& env = testEnv.env();
  queue->registerKind<Job>(kCheckKind, [&env] { return std::make_shared<SongCheckJob>(env); });
  queue->setMaxConcurrentOperationCount(0);
  queue->addOperation(std::make_shared<SpecialSongCheckJob>(env));
  EXPECT_EQ(queue->addOperationOfKind(kCheckKind), nullptr);
  queue->cancelAllOperations();
}

TEST_F(ServiceOperationFixture, RunningOperationsFoundByTheCallersTest) {
  auto queue = MRServiceOperationQueue::create(testEnv.env());
  queue->setMaxConcurrentOperationCount(0);
  auto a = std::make_shared<SubjectJob>(testEnv.env(), "aa");
  auto b = std::make_shared<SubjectJob>(testEnv.env(), "bb");
  queue->addOperation(std::make_shared<Job>(testEnv.env()));
  queue->addOperation(a);
  queue->addOperation(b);
  auto about = [](const std::string& subject) {
    return [subject](const MRServiceOperation& operation) {
      const auto* job = dynamic_cast<const SubjectJob*>(&operation);
      return job != nullptr && job->subject() == subject;
    };
  };
  EXPECT_EQ(queue->operationRunningMatching(about("bb")), b);
  EXPECT_EQ(queue->operationRunningMatching(about("aa")), a);
  EXPECT_EQ(queue->operationRunningMatching(about("cc")), nullptr);
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
  EXPECT_STREQ(statusTextKey(kMRServiceOperationStatusFailed), "");
  EXPECT_STREQ(statusTextKey(105), "");  // a subclass's own code
  test::TestEnv testEnv;
  auto op = std::make_shared<MRServiceOperation>(testEnv.env());
  EXPECT_EQ(op->statusTextKey(), "kMRServiceOperationStatusWaiting");
}

}  // namespace
}  // namespace mr
