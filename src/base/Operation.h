// A unit of long work that a queue runs on a thread of its own.
// Cancellation is cooperative: cancel() sets a flag that main() checks
// between its steps, and wakes main() where it waits through waitFor().
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/Clock.h"
#include "base/Dispatcher.h"

namespace mr {

class OperationQueue;

// The order in which a queue starts its waiting operations.
enum class QueuePriority : int { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };

class Operation : public std::enable_shared_from_this<Operation> {
 public:
  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // The work. Runs once, on the thread the queue gives it.
  virtual void main() = 0;

  // The dynamic class name without namespace ("MRUserSongCheckOperation").
  std::string className() const;

  // Sets the cancelled flag and wakes waitFor(). An operation cancelled
  // before it started finishes without running main(). Operations that
  // hold inner work override it to cancel that too, and call this.
  virtual void cancel();
  bool isCancelled() const { return cancelled_.load(); }
  bool isExecuting() const;
  bool isFinished() const;

  QueuePriority queuePriority() const { return static_cast<QueuePriority>(priority_.load()); }
  void setQueuePriority(QueuePriority priority) { priority_ = static_cast<int>(priority); }

  // Runs on the operation's thread after main(), and also when a cancelled
  // operation is dropped before it started.
  void setCompletionBlock(Task block);

  void waitUntilFinished();
  // False when the deadline passed first.
  bool waitUntilFinished(Clock& clock, SteadyTime deadline);

  // For main(): waits until ready() holds, the operation is cancelled, or the
  // deadline passes; returns ready(). ready() runs under an internal lock and
  // must not call back into this operation's waiting or state functions.
  bool waitFor(Clock& clock, SteadyTime deadline, const std::function<bool()>& ready);
  // For main(): a sleep that ends early on a cancel, or when `until` turns
  // true (after a wake()). The same rules as for waitFor() apply to `until`.
  void sleepFor(Clock& clock, Duration duration, const std::function<bool()>& until = nullptr);
  // Makes waitFor() look at its condition again. Call it after changing what
  // the condition reads.
  void wake();

  // The queue the operation was last added to, if it still exists.
  std::shared_ptr<OperationQueue> queue() const;

  // Runs the operation on the calling thread, as a queue would.
  void start();

 private:
  friend class OperationQueue;
  enum class State { Ready, Executing, Finished };

  bool beginExecuting();  // false when it was cancelled or already started
  void markFinished();
  void runCompletionBlock();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  State state_ = State::Ready;
  std::atomic<bool> cancelled_{false};
  std::atomic<int> priority_{0};
  Task completion_;
  std::weak_ptr<OperationQueue> queue_;
  uint64_t sequence_ = 0;  // order of addition in its queue
};

// An operation that runs a function; for small steps that need no class.
class BlockOperation final : public Operation {
 public:
  explicit BlockOperation(Task body) : body_(std::move(body)) {}
  void main() override { body_(); }

 private:
  Task body_;
};

// Lets an operation wait for others it started: each tracked operation, when
// it ends (run or dropped before it started), counts down and wakes the
// waiter's waitFor(). The count is kept apart from the operations, so it is
// right even before an ended operation reports itself finished.
//
// Make it in the waiter's main(): it wakes the waiter only while it exists,
// and never holds a reference to it, so a tracked operation ending late can
// neither touch a waiter that is gone nor be the one that destroys it.
class OperationTracker {
 public:
  explicit OperationTracker(Operation& waiter);
  ~OperationTracker();
  OperationTracker(const OperationTracker&) = delete;
  OperationTracker& operator=(const OperationTracker&) = delete;
  // Takes the operation's completion block for itself (and runs `then`
  // there first): call it before the operation is added to a queue.
  void track(Operation& operation, Task then = nullptr);
  size_t pending() const { return state_->pending.load(); }
  bool allEnded() const { return pending() == 0; }

 private:
  struct State {
    std::atomic<size_t> pending{0};
    std::mutex mutex;
    Operation* waiter = nullptr;  // cleared when the tracker goes
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace mr
