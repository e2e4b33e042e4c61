// Runs operations on threads of their own, at most `maxConcurrentOperationCount`
// at once, choosing the next by priority and then by order of addition.
// A width of 0 starts nothing new; queued operations wait.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/Operation.h"

namespace mr {

// Joins `thread`, or detaches it when it is the calling thread (an owner of
// threads released on one of its own).
void joinOrDetach(std::thread& thread);

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
 public:
  OperationQueue(std::string name, int maxConcurrentOperationCount);
  // Cancels what is queued and waits for what runs.
  virtual ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  const std::string& name() const { return name_; }

  void addOperation(std::shared_ptr<Operation> operation);
  // Sets the priority and adds, as one step under the queue's lock.
  void addOperation(std::shared_ptr<Operation> operation, QueuePriority priority);

  // The unfinished operations, queued and running, in order of addition.
  std::vector<std::shared_ptr<Operation>> operations() const;
  size_t operationCount() const;
  size_t runningCount() const;

  int maxConcurrentOperationCount() const;
  void setMaxConcurrentOperationCount(int count);

  void cancelAllOperations();
  void waitUntilAllOperationsAreFinished();
  // False when the deadline passed first.
  bool waitUntilAllOperationsAreFinished(Clock& clock, SteadyTime deadline);

  // Called after operations() changed (an addition or a removal), on the
  // thread that changed it, outside the queue's lock.
  void setOperationsChangedHandler(std::function<void()> handler);

 private:
  friend class Operation;
  using PendingKey = std::pair<int, uint64_t>;  // (-priority, sequence)

  void startReadyLocked();
  void runOperation(const std::shared_ptr<Operation>& operation);
  void finishOperation(const std::shared_ptr<Operation>& operation);
  void dropCancelled(Operation& operation);
  void removeLocked(const Operation* operation);
  void reapThreads();
  void notifyChanged();

  const std::string name_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  int width_;
  uint64_t nextSequence_ = 1;
  std::vector<std::shared_ptr<Operation>> operations_;
  std::map<PendingKey, std::shared_ptr<Operation>> pending_;
  size_t running_ = 0;
  std::vector<std::thread> threads_;
  std::vector<std::thread::id> exited_;
  std::function<void()> changed_;
};

}  // namespace mr
