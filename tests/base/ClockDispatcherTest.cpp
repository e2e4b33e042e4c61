#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/Dispatcher.h"
#include "base/Semaphore.h"
#include "base/ThreadPool.h"

namespace mr {
namespace {

TEST(FakeClockTest, ThirtySecondDeadlinePassesWhenTheClockIsAdvanced) {
  FakeClock clock;
  std::mutex mutex;
  std::condition_variable cv;
  std::atomic<bool> result{true};
  std::thread waiter([&] {
    std::unique_lock lock(mutex);
    result = clock.waitFor(lock, cv, seconds(30), [] { return false; });
  });
  while (clock.waiterCount() == 0)
    std::this_thread::yield();
  clock.advance(seconds(29));
  EXPECT_EQ(clock.waiterCount(), 1);  // not yet
  clock.advance(seconds(1));
  waiter.join();
  EXPECT_FALSE(result);
}

TEST(FakeClockTest, WaitEndsAsSoonAsTheConditionHolds) {
  FakeClock clock;
  std::mutex mutex;
  std::condition_variable cv;
  bool ready = false;
  std::thread signaller([&] {
    while (clock.waiterCount() == 0)
      std::this_thread::yield();
    std::lock_guard guard(mutex);
    ready = true;
    cv.notify_all();
  });
  std::unique_lock lock(mutex);
  EXPECT_TRUE(clock.waitFor(lock, cv, seconds(30), [&] { return ready; }));
  lock.unlock();
  signaller.join();
}

TEST(FakeClockTest, SleepMovesTimeAndDate) {
  FakeClock clock(Date{1000});
  const SteadyTime before = clock.now();
  clock.sleepFor(seconds(2.5));
  EXPECT_EQ(clock.now() - before, seconds(2.5));
  EXPECT_DOUBLE_EQ(clock.currentDate().secondsSince1970, 1002.5);
  EXPECT_EQ(clock.totalSlept(), seconds(2.5));
}

TEST(SemaphoreTest, DeadlineAndSignal) {
  FakeClock clock;
  Semaphore semaphore(clock);
  std::thread advancer([&] {
    while (clock.waiterCount() == 0)
      std::this_thread::yield();
    clock.advance(seconds(31));
  });
  EXPECT_FALSE(semaphore.waitFor(seconds(30)));
  advancer.join();
  semaphore.signal();
  EXPECT_TRUE(semaphore.waitFor(seconds(30)));
}

TEST(ManualDispatcherTest, RunsTasksInOrderAndTimersByTheClock) {
  FakeClock clock;
  ManualDispatcher dispatcher(clock);
  std::vector<std::string> ran;
  dispatcher.postAfter(seconds(2), [&] { ran.push_back("later"); });
  dispatcher.post([&] { ran.push_back("first"); });
  dispatcher.post([&] {
    ran.push_back("second");
    dispatcher.post([&] { ran.push_back("posted by a task"); });
  });
  dispatcher.pump();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "posted by a task"}));
  clock.advance(seconds(1));
  dispatcher.pump();
  EXPECT_EQ(ran.size(), 3u);
  clock.advance(seconds(1));
  dispatcher.pump();
  EXPECT_EQ(ran.back(), "later");
}

TEST(ManualDispatcherTest, RepeatingTimerUntilCancelled) {
  FakeClock clock;
  ManualDispatcher dispatcher(clock);
  int fired = 0;
  const TimerId timer = dispatcher.repeat(seconds(1), [&] { ++fired; });
  for (int i = 0; i < 3; ++i) {
    clock.advance(seconds(1));
    dispatcher.pump();
  }
  EXPECT_EQ(fired, 3);
  dispatcher.cancel(timer);
  clock.advance(seconds(5));
  dispatcher.pump();
  EXPECT_EQ(fired, 3);
}

TEST(ManualDispatcherTest, PostAndWaitFromAnotherThread) {
  FakeClock clock;
  ManualDispatcher dispatcher(clock);
  std::atomic<bool> done{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    dispatcher.postAndWait([&] { ranOn = std::this_thread::get_id(); });
    done = true;
  });
  EXPECT_TRUE(dispatcher.pumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(ManualDispatcherTest, RunReturnsOnQuit) {
  FakeClock clock;
  ManualDispatcher dispatcher(clock);
  int ran = 0;
  dispatcher.post([&] { ++ran; });
  dispatcher.post([&] { dispatcher.quit(); });
  dispatcher.run();
  EXPECT_EQ(ran, 1);
}

TEST(GLibDispatcherTest, PostTimersCancelAndQuit) {
  GLibDispatcher dispatcher;
  std::vector<int> ran;
  const TimerId cancelled =
      dispatcher.postAfter(std::chrono::milliseconds(1), [&] { ran.push_back(99); });
  dispatcher.cancel(cancelled);
  int ticks = 0;
  TimerId ticker = 0;
  ticker = dispatcher.repeat(std::chrono::milliseconds(1), [&] {
    if (++ticks == 3) {
      dispatcher.cancel(ticker);
      dispatcher.postAfter(std::chrono::milliseconds(2), [&] { dispatcher.quit(); });
    }
  });
  dispatcher.post([&] { ran.push_back(1); });
  std::thread other([&] { dispatcher.post([&] { ran.push_back(2); }); });
  other.join();
  dispatcher.run();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(dispatcher.isCurrentThread());
}

TEST(ThreadPoolTest, GrowsWhenATaskBlocks) {
  ThreadPool pool("test", 4);
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  pool.post([&] {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return released; });
  });
  // The second task is what releases the first: it must not wait behind it.
  pool.post([&] {
    std::lock_guard guard(mutex);
    released = true;
    cv.notify_all();
  });
  pool.waitIdle();
  EXPECT_TRUE(released);
  EXPECT_LE(pool.threadCount(), 4u);
}

}  // namespace
}  // namespace mr
