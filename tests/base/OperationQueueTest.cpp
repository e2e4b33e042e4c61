#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "base/OperationQueue.h"
#include "base/ThreadPool.h"

namespace mr {
namespace {

// An operation that records its run and can be held inside main().
class Probe final : public Operation {
 public:
  Probe(std::string name, std::vector<std::string>* log, std::mutex* logMutex)
      : name_(std::move(name)), log_(log), logMutex_(logMutex) {}

  void main() override {
    {
      std::lock_guard guard(*logMutex_);
      log_->push_back(name_);
    }
    started = true;
    waitFor(Clock::real(), kNoDeadline, [this] { return !held_.load(); });
  }
  void hold() { held_ = true; }
  void release() {
    held_ = false;
    wake();
  }

  std::atomic<bool> started{false};

 private:
  std::string name_;
  std::vector<std::string>* log_;
  std::mutex* logMutex_;
  std::atomic<bool> held_{false};
};

struct QueueFixture : ::testing::Test {
  std::vector<std::string> log;
  std::mutex logMutex;
  std::shared_ptr<Probe> probe(const std::string& name) {
    return std::make_shared<Probe>(name, &log, &logMutex);
  }
};

TEST_F(QueueFixture, WidthZeroStartsNothingAndPriorityChoosesTheNext) {
  auto queue = std::make_shared<OperationQueue>("test", 0);
  auto low = probe("low");
  auto normal = probe("normal");
  auto high = probe("high");
  auto normal2 = probe("normal2");
  queue->addOperation(low, QueuePriority::Low);
  queue->addOperation(normal, QueuePriority::Normal);
  queue->addOperation(high, QueuePriority::High);
  queue->addOperation(normal2, QueuePriority::Normal);
  EXPECT_EQ(queue->operationCount(), 4u);
  EXPECT_EQ(queue->runningCount(), 0u);
  EXPECT_EQ(queue->operations()[0], low);  // the snapshot keeps the order of addition

  queue->setMaxConcurrentOperationCount(1);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(log, (std::vector<std::string>{"high", "normal", "normal2", "low"}));
  EXPECT_TRUE(low->isFinished());
}

TEST_F(QueueFixture, NarrowingTheQueueLetsRunningOperationsFinish) {
  auto queue = std::make_shared<OperationQueue>("test", 2);
  auto running = probe("running");
  running->hold();
  queue->addOperation(running);
  while (!running->started)
    std::this_thread::yield();
  queue->setMaxConcurrentOperationCount(0);
  auto waiting = probe("waiting");
  queue->addOperation(waiting);
  running->release();
  running->waitUntilFinished();
  EXPECT_FALSE(waiting->isExecuting() || waiting->isFinished());
  EXPECT_EQ(queue->operations(), (std::vector<std::shared_ptr<Operation>>{waiting}));
  queue->setMaxConcurrentOperationCount(1);
  waiting->waitUntilFinished();
  EXPECT_EQ(log, (std::vector<std::string>{"running", "waiting"}));
}

TEST_F(QueueFixture, CancelledQueuedOperationFinishesWithoutRunning) {
  auto queue = std::make_shared<OperationQueue>("test", 0);
  auto op = probe("never");
  std::atomic<int> completions{0};
  op->setCompletionBlock([&] { ++completions; });
  queue->addOperation(op);
  op->cancel();
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(queue->operationCount(), 0u);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(QueueFixture, CancelWakesAnOperationWaitingForItsCondition) {
  struct Waiting final : Operation {
    FakeClock clock;
    std::atomic<bool> satisfied{true};
    void main() override {
      satisfied = waitFor(clock, clock.deadlineAfter(seconds(30)), [] { return false; });
    }
  };
  auto queue = std::make_shared<OperationQueue>("test", 1);
  auto op = std::make_shared<Waiting>();
  queue->addOperation(op);
  while (op->clock.waiterCount() == 0)
    std::this_thread::yield();
  op->cancel();
  op->waitUntilFinished();
  EXPECT_FALSE(op->satisfied);
}

TEST_F(QueueFixture, WaitForEndsAtTheDeadlineOrWhenWoken) {
  struct Waiting final : Operation {
    FakeClock clock;
    std::atomic<bool> flag{false};
    std::atomic<int> result{-1};
    void main() override {
      result =
          waitFor(clock, clock.deadlineAfter(seconds(5)), [this] { return flag.load(); }) ? 1 : 0;
    }
  };
  auto queue = std::make_shared<OperationQueue>("test", 2);
  auto timesOut = std::make_shared<Waiting>();
  auto woken = std::make_shared<Waiting>();
  queue->addOperation(timesOut);
  queue->addOperation(woken);
  while (timesOut->clock.waiterCount() == 0 || woken->clock.waiterCount() == 0) {
    std::this_thread::yield();
  }
  timesOut->clock.advance(seconds(5));
  woken->flag = true;
  woken->wake();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(timesOut->result, 0);
  EXPECT_EQ(woken->result, 1);
}

TEST_F(QueueFixture, ChangeNoticeForEachAdditionAndRemoval) {
  auto queue = std::make_shared<OperationQueue>("test", 0);
  std::atomic<int> changes{0};
  queue->setOperationsChangedHandler([&] { ++changes; });
  queue->addOperation(probe("a"));
  queue->addOperation(probe("b"));
  EXPECT_EQ(changes, 2);
  queue->setMaxConcurrentOperationCount(2);
  queue->waitUntilAllOperationsAreFinished();
  // Removal notices come after the list changed; wait for both to arrive.
  while (changes < 4)
    std::this_thread::yield();
  EXPECT_EQ(changes, 4);
}

TEST_F(QueueFixture, AnOperationRunsOnceEvenIfAddedTwice) {
  auto queue = std::make_shared<OperationQueue>("test", 2);
  auto op = probe("once");
  queue->addOperation(op);
  queue->addOperation(op);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(QueueFixture, DestroyingTheQueueCancelsAndWaits) {
  auto running = probe("running");
  auto queued = probe("queued");
  running->hold();
  {
    auto queue = std::make_shared<OperationQueue>("test", 1);
    queue->addOperation(running);
    queue->addOperation(queued);
    while (!running->started)
      std::this_thread::yield();
  }
  EXPECT_TRUE(running->isFinished());
  EXPECT_TRUE(running->isCancelled());
  EXPECT_TRUE(queued->isFinished());
  EXPECT_EQ(log, (std::vector<std::string>{"running"}));
}

TEST(OperationTest, ClassNameIsTheDynamicClassWithoutNamespace) {
  struct MRSomeOperation final : Operation {
    void main() override {}
  };
  EXPECT_EQ(MRSomeOperation().className(), "MRSomeOperation");
  EXPECT_EQ(BlockOperation([] {}).className(), "BlockOperation");
}

}  // namespace
}  // namespace mr

namespace mr {
namespace {

// Owners of threads let go of on one of their own threads: by an operation's
// body, by its completion block, or by the operation object itself when its
// thread ends. Each must end without joining itself or touching freed state.
TEST(ThreadOwnerTest, QueuesAndPoolsReleasedOnTheirOwnThreadsEndCleanly) {
  for (int round = 0; round < 60; ++round) {
    std::vector<std::shared_ptr<Operation>> operations;
    {
      auto queue = std::make_shared<OperationQueue>("owned", 3);
      for (int i = 0; i < 6; ++i) {
        auto held = std::make_shared<std::shared_ptr<OperationQueue>>(queue);
        auto operation = std::make_shared<BlockOperation>([held, i] {
          if (i % 3 == 0) held->reset();  // in main()
        });
        operation->setCompletionBlock([held] { held->reset(); });
        operations.push_back(operation);
        queue->addOperation(operation);
      }
    }
    for (const auto& operation : operations)
      operation->waitUntilFinished();
  }

  for (int round = 0; round < 60; ++round) {
    auto finished = std::make_shared<std::atomic<int>>(0);
    {
      auto pool = std::make_shared<ThreadPool>("owned", 4);
      for (int i = 0; i < 8; ++i) {
        pool->post([pool, finished] { ++*finished; });
      }
    }
    // The last task to let go of the pool ends it; every task has run by then.
    while (finished->load() < 8)
      std::this_thread::yield();
  }
}

}  // namespace
}  // namespace mr
