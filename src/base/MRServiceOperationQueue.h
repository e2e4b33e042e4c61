// The queue of the listener-visible jobs: up to 10 at once, one per kind for
// the kinds the layers above register, a change notice on the main thread,
// and lookups of a running job by class or by a test of the caller's.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "base/Env.h"
#include "base/MRServiceOperation.h"
#include "base/MRServiceOperationKind.h"
#include "base/OperationQueue.h"

namespace mr {

class MRServiceOperationQueue;

class MRServiceOperationQueueDelegate {
 public:
  virtual ~MRServiceOperationQueueDelegate() = default;
  virtual void serviceOperationQueueHasChangedOperations(MRServiceOperationQueue& queue) = 0;
};

class MRServiceOperationQueue : public OperationQueue {
 public:
  static constexpr int kWidth = 10;

  static std::shared_ptr<MRServiceOperationQueue> create(const Env& env);
  // The shared queue over the default surroundings; tests may replace it.
  static std::shared_ptr<MRServiceOperationQueue> sharedQueue();
  static void setSharedQueue(std::shared_ptr<MRServiceOperationQueue> queue);
  // The shared queue if it was made; nullptr otherwise.
  static std::shared_ptr<MRServiceOperationQueue> sharedQueueIfMade();

  // ---- One per kind. The layers that own the jobs register how to make
  // them; a kind nobody registered adds nothing.
  template <class T>
  void registerKind(MRServiceOperationKind kind, std::function<std::shared_ptr<T>()> make) {
    KindEntry entry;
    entry.make = [make] { return std::static_pointer_cast<MRServiceOperation>(make()); };
    entry.isKind = [](const Operation& operation) {
      return dynamic_cast<const T*>(&operation) != nullptr;
    };
    std::lock_guard guard(kindsMutex_);
    kinds_[std::string(kind.name())] = std::move(entry);
  }
  // Adds a new job of the kind unless one is in the queue (queued, running,
  // or finished but not yet removed) or the kind is not registered; returns
  // it, or nullptr. `prepare` runs on the new job before it is queued, so a
  // delegate set there hears even a job that ends at once.
  std::shared_ptr<MRServiceOperation> addOperationOfKind(
      MRServiceOperationKind kind, const std::function<void(MRServiceOperation&)>& prepare = {});
  // The first operation in the queue of the kind's class (or a subclass).
  std::shared_ptr<MRServiceOperation> operationRunningForKind(MRServiceOperationKind kind) const;

  // The first operation in the queue that passes the test.
  std::shared_ptr<MRServiceOperation> operationRunningMatching(
      const std::function<bool(const MRServiceOperation&)>& matches) const;

  // The first operation in the queue of class T or a subclass of it.
  template <class T>
  std::shared_ptr<T> operationRunningForClass() const {
    for (const auto& operation : operations()) {
      if (auto typed = std::dynamic_pointer_cast<T>(operation)) return typed;
    }
    return nullptr;
  }
  template <class T>
  bool checkOperationRunningForClass() const {
    return operationRunningForClass<T>() != nullptr;
  }

  // ---- The status list of the screens.
  void setStatusListRegistrar(std::function<void(std::shared_ptr<MRServiceOperation>)> registrar);
  void registerWithStatusList(std::shared_ptr<MRServiceOperation> operation);

  std::shared_ptr<MRServiceOperationQueueDelegate> delegate() const;
  void setDelegate(std::weak_ptr<MRServiceOperationQueueDelegate> delegate);

  const Env& env() const { return env_; }

 protected:
  explicit MRServiceOperationQueue(const Env& env);

 private:
  struct KindEntry {
    std::function<std::shared_ptr<MRServiceOperation>()> make;
    std::function<bool(const Operation&)> isKind;
  };

  const Env& env_;
  mutable std::mutex kindsMutex_;
  std::map<std::string, KindEntry, std::less<>> kinds_;
  std::mutex addMutex_;
  std::function<void(std::shared_ptr<MRServiceOperation>)> statusListRegistrar_;
  mutable std::mutex delegateMutex_;
  std::weak_ptr<MRServiceOperationQueueDelegate> delegate_;
};

}  // namespace mr
