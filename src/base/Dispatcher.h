// The main thread's task loop. Delegate calls, player notices and screen
// updates are posted here. The program runs it on GLib's default main
// context; tests use a ManualDispatcher that they pump.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "base/Clock.h"

namespace mr {

using Task = std::function<void()>;
using TimerId = uint64_t;

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;

  // All of these may be called from any thread.
  virtual void post(Task task) = 0;
  virtual TimerId postAfter(Duration delay, Task task) = 0;
  // Runs `task` every `interval` until cancelled.
  virtual TimerId repeat(Duration interval, Task task) = 0;
  // Cancelling a timer that already ran or was cancelled does nothing.
  virtual void cancel(TimerId timer) = 0;

  // Runs tasks on the calling thread until quit().
  virtual void run() = 0;
  virtual void quit() = 0;
  virtual bool isCurrentThread() const = 0;

  // Runs `task` on the dispatcher's thread and returns when it has run; runs
  // it at once when called on that thread.
  void postAndWait(Task task);
};

// A dispatcher driven by its caller. Timers fire by the given clock.
class ManualDispatcher final : public Dispatcher {
 public:
  explicit ManualDispatcher(Clock& clock);

  void post(Task task) override;
  TimerId postAfter(Duration delay, Task task) override;
  TimerId repeat(Duration interval, Task task) override;
  void cancel(TimerId timer) override;
  void run() override;
  void quit() override;
  bool isCurrentThread() const override;

  // Runs every task that is ready, including timers due on the clock, and the
  // tasks those post; returns how many ran. The calling thread becomes the
  // dispatcher's thread.
  size_t pump();
  // Pumps until `done()` holds; gives up after `limit` of real time (a guard
  // against hanging tests, not a timing device). Returns done().
  bool pumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
  size_t pendingCount() const;

 private:
  struct Timer {
    SteadyTime due;
    Duration interval;  // zero for one-shot timers
    std::shared_ptr<Task> task;
  };
  bool takeReady(Task& task);

  Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Task> tasks_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimer_ = 1;
  bool quit_ = false;
  std::thread::id owner_;
};

// The real main loop: GLib's default main context.
class GLibDispatcher final : public Dispatcher {
 public:
  GLibDispatcher();
  ~GLibDispatcher() override;

  void post(Task task) override;
  TimerId postAfter(Duration delay, Task task) override;
  TimerId repeat(Duration interval, Task task) override;
  void cancel(TimerId timer) override;
  void run() override;
  void quit() override;
  bool isCurrentThread() const override;

 private:
  struct Loop;
  Loop* loop_;
};

}  // namespace mr
