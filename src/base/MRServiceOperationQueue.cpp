#include "base/MRServiceOperationQueue.h"

namespace mr {
namespace {
SharedInstance<MRServiceOperationQueue>& shared() {
  static SharedInstance<MRServiceOperationQueue> instance;
  return instance;
}
}  // namespace

MRServiceOperationQueue::MRServiceOperationQueue(const Env& env)
    : OperationQueue("MRServiceOperationQueue", kWidth), env_(env) {}

std::shared_ptr<MRServiceOperationQueue> MRServiceOperationQueue::create(const Env& env) {
  std::shared_ptr<MRServiceOperationQueue> queue(new MRServiceOperationQueue(env));
  std::weak_ptr<MRServiceOperationQueue> weak = queue;
  queue->setOperationsChangedHandler([weak, &env] {
    env.main().post([weak] {
      auto queue = weak.lock();
      if (!queue) return;
      if (auto delegate = queue->delegate())
        delegate->serviceOperationQueueHasChangedOperations(*queue);
    });
  });
  return queue;
}

std::shared_ptr<MRServiceOperationQueue> MRServiceOperationQueue::sharedQueue() {
  return shared().get([] { return create(Env::defaultEnv()); });
}

std::shared_ptr<MRServiceOperationQueue> MRServiceOperationQueue::sharedQueueIfMade() {
  return shared().peek();
}

void MRServiceOperationQueue::setSharedQueue(std::shared_ptr<MRServiceOperationQueue> queue) {
  shared().replace(std::move(queue));
}

std::shared_ptr<MRServiceOperation> MRServiceOperationQueue::addOperationOfKind(
    MRServiceOperationKind kind, const std::function<void(MRServiceOperation&)>& prepare) {
  KindEntry entry;
  {
    std::lock_guard guard(kindsMutex_);
    auto found = kinds_.find(kind.name());
    // Kinds whose layer is not linked in, or not set up yet, are not an error.
    if (found == kinds_.end()) return nullptr;
    entry = found->second;
  }
  // The check and the add are one step, whatever thread calls.
  std::lock_guard adding(addMutex_);
  for (const auto& operation : operations()) {
    if (entry.isKind(*operation)) return nullptr;
  }
  auto operation = entry.make();
  if (!operation) return nullptr;
  if (prepare) prepare(*operation);
  addOperation(operation);
  return operation;
}

std::shared_ptr<MRServiceOperation> MRServiceOperationQueue::operationRunningForKind(
    MRServiceOperationKind kind) const {
  std::function<bool(const Operation&)> isKind;
  {
    std::lock_guard guard(kindsMutex_);
    auto found = kinds_.find(kind.name());
    if (found == kinds_.end()) return nullptr;
    isKind = found->second.isKind;
  }
  return operationRunningMatching(
      [&isKind](const MRServiceOperation& operation) { return isKind(operation); });
}

std::shared_ptr<MRServiceOperation> MRServiceOperationQueue::operationRunningMatching(
    const std::function<bool(const MRServiceOperation&)>& matches) const {
  for (const auto& operation : operations()) {
    auto service = std::dynamic_pointer_cast<MRServiceOperation>(operation);
    if (service && matches(*service)) return service;
  }
  return nullptr;
}

void MRServiceOperationQueue::setStatusListRegistrar(
    std::function<void(std::shared_ptr<MRServiceOperation>)> registrar) {
  std::lock_guard guard(kindsMutex_);
  statusListRegistrar_ = std::move(registrar);
}

void MRServiceOperationQueue::registerWithStatusList(
    std::shared_ptr<MRServiceOperation> operation) {
  std::function<void(std::shared_ptr<MRServiceOperation>)> registrar;
  {
    std::lock_guard guard(kindsMutex_);
    registrar = statusListRegistrar_;
  }
  if (registrar) registrar(std::move(operation));
}

std::shared_ptr<MRServiceOperationQueueDelegate> MRServiceOperationQueue::delegate() const {
  std::lock_guard guard(delegateMutex_);
  return delegate_.lock();
}

void MRServiceOperationQueue::setDelegate(std::weak_ptr<MRServiceOperationQueueDelegate> delegate) {
  std::lock_guard guard(delegateMutex_);
  delegate_ = std::move(delegate);
}

}  // namespace mr
