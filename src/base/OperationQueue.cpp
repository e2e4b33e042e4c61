#include "base/OperationQueue.h"

#include <algorithm>
#include <utility>

#include "base/ThreadPool.h"

namespace mr {

namespace {
// The queue whose operation this thread runs, and whether that queue was
// destroyed by the operation itself (its last owner let go of it there).
thread_local const OperationQueue* tRunningQueue = nullptr;
thread_local bool tRunningQueueGone = false;
}  // namespace

void joinOrDetach(std::thread& thread) {
  if (!thread.joinable()) return;
  // A thread cannot join itself: the owner is going away on one of its own
  // threads, which leaves the owner's code before it ends.
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}

OperationQueue::OperationQueue(std::string name, int maxConcurrentOperationCount)
    : name_(std::move(name)), width_(std::max(0, maxConcurrentOperationCount)) {}

OperationQueue::~OperationQueue() {
  // Released by an operation of this queue, on its thread: that operation
  // still counts as running, and its thread must not come back here.
  const bool insideOwnOperation = tRunningQueue == this;
  if (insideOwnOperation) tRunningQueueGone = true;
  std::vector<std::shared_ptr<Operation>> pending;
  {
    std::lock_guard guard(mutex_);
    changed_ = nullptr;
    for (auto& [key, operation] : pending_)
      pending.push_back(operation);
    pending_.clear();
    for (const auto& operation : pending)
      removeLocked(operation.get());
    for (const auto& operation : operations_)
      operation->cancel();
  }
  for (const auto& operation : pending) {
    operation->cancel();
    operation->start();  // finishes it without main(), running its completion block
  }
  std::unique_lock lock(mutex_);
  const size_t selfCount = insideOwnOperation ? 1 : 0;
  cv_.wait(lock, [this, selfCount] { return running_ == selfCount; });
  std::vector<std::thread> threads = std::move(threads_);
  lock.unlock();
  for (auto& thread : threads)
    joinOrDetach(thread);
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) return;
  const QueuePriority priority = operation->queuePriority();
  addOperation(std::move(operation), priority);
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation, QueuePriority priority) {
  if (!operation) return;
  reapThreads();
  {
    std::lock_guard guard(mutex_);
    operation->setQueuePriority(priority);
    {
      std::lock_guard opGuard(operation->mutex_);
      if (operation->state_ != Operation::State::Ready) return;  // added twice, or already run
      operation->queue_ = weak_from_this();
      operation->sequence_ = nextSequence_++;
    }
    operations_.push_back(operation);
    pending_.emplace(PendingKey{-static_cast<int>(priority), operation->sequence_}, operation);
    startReadyLocked();
  }
  if (operation->isCancelled()) dropCancelled(*operation);
  notifyChanged();
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  std::lock_guard guard(mutex_);
  return operations_;
}

size_t OperationQueue::operationCount() const {
  std::lock_guard guard(mutex_);
  return operations_.size();
}

size_t OperationQueue::runningCount() const {
  std::lock_guard guard(mutex_);
  return running_;
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard guard(mutex_);
  return width_;
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  reapThreads();
  std::lock_guard guard(mutex_);
  width_ = std::max(0, count);
  startReadyLocked();
}

void OperationQueue::cancelAllOperations() {
  for (const auto& operation : operations())
    operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return operations_.empty(); });
}

bool OperationQueue::waitUntilAllOperationsAreFinished(Clock& clock, SteadyTime deadline) {
  std::unique_lock lock(mutex_);
  return clock.waitUntil(lock, cv_, deadline, [this] { return operations_.empty(); });
}

void OperationQueue::setOperationsChangedHandler(std::function<void()> handler) {
  std::lock_guard guard(mutex_);
  changed_ = std::move(handler);
}

void OperationQueue::startReadyLocked() {
  while (running_ < static_cast<size_t>(width_) && !pending_.empty()) {
    std::shared_ptr<Operation> next = pending_.begin()->second;
    pending_.erase(pending_.begin());
    ++running_;
    threads_.emplace_back([this, next] { runOperation(next); });
  }
}

void OperationQueue::runOperation(const std::shared_ptr<Operation>& operation) {
  setCurrentThreadName(operation->className());
  tRunningQueue = this;
  tRunningQueueGone = false;
  if (operation->beginExecuting()) operation->main();
  operation->runCompletionBlock();
  const bool gone = std::exchange(tRunningQueueGone, false);
  tRunningQueue = nullptr;
  if (gone) {  // `this` is no more
    operation->markFinished();
    return;
  }
  finishOperation(operation);
  std::lock_guard guard(mutex_);
  exited_.push_back(std::this_thread::get_id());  // the thread's last touch of the queue
}

void OperationQueue::finishOperation(const std::shared_ptr<Operation>& operation) {
  {
    std::lock_guard guard(mutex_);
    // Finished and removed in one step: whoever wakes from either sees both.
    removeLocked(operation.get());
    operation->markFinished();
    --running_;
    startReadyLocked();
    cv_.notify_all();
  }
  notifyChanged();
}

void OperationQueue::dropCancelled(Operation& operation) {
  std::shared_ptr<Operation> dropped;
  {
    std::lock_guard guard(mutex_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->second.get() == &operation) {
        dropped = it->second;
        pending_.erase(it);
        break;
      }
    }
    if (!dropped) return;  // already started: its thread finishes it
  }
  dropped->runCompletionBlock();
  {
    std::lock_guard guard(mutex_);
    removeLocked(&operation);
    dropped->markFinished();
    cv_.notify_all();
  }
  notifyChanged();
}

void OperationQueue::removeLocked(const Operation* operation) {
  auto found = std::find_if(operations_.begin(), operations_.end(),
                            [operation](const auto& member) { return member.get() == operation; });
  if (found != operations_.end()) operations_.erase(found);
}

void OperationQueue::reapThreads() {
  std::vector<std::thread> done;
  {
    std::lock_guard guard(mutex_);
    for (const auto& id : exited_) {
      auto found = std::find_if(threads_.begin(), threads_.end(),
                                [&id](const std::thread& thread) { return thread.get_id() == id; });
      if (found == threads_.end()) continue;
      done.push_back(std::move(*found));
      threads_.erase(found);
    }
    exited_.clear();
  }
  for (auto& thread : done)
    joinOrDetach(thread);  // they have left the queue's code
}

void OperationQueue::notifyChanged() {
  std::function<void()> handler;
  {
    std::lock_guard guard(mutex_);
    handler = changed_;
  }
  if (handler) handler();
}

}  // namespace mr
