#include "base/MRServiceOperationQueue.h"

#include "base/Log.h"

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
    MRServiceOperationKind kind) {
  KindEntry entry;
  {
    std::lock_guard guard(kindsMutex_);
    auto found = kinds_.find(kind);
    if (found == kinds_.end()) {
      log::warning("MRServiceOperationQueue: no job registered for kind {}",
                   static_cast<int>(kind));
      return nullptr;
    }
    entry = found->second;
  }
  // The check and the add are one step, whatever thread calls.
  std::lock_guard adding(addMutex_);
  for (const auto& operation : operations()) {
    if (entry.isKind(*operation)) return nullptr;
  }
  auto operation = entry.make();
  if (operation) addOperation(operation);
  return operation;
}

std::shared_ptr<MRServiceOperation> MRServiceOperationQueue::operationRunningForKind(
    MRServiceOperationKind kind) const {
  std::function<bool(const Operation&)> isKind;
  {
    std::lock_guard guard(kindsMutex_);
    auto found = kinds_.find(kind);
    if (found == kinds_.end()) return nullptr;
    isKind = found->second.isKind;
  }
  for (const auto& operation : operations()) {
    if (isKind(*operation)) return std::dynamic_pointer_cast<MRServiceOperation>(operation);
  }
  return nullptr;
}

void MRServiceOperationQueue::setCacheOperationFactory(CacheOperationFactory factory) {
  std::lock_guard guard(kindsMutex_);
  cacheFactory_ = std::move(factory);
}

std::shared_ptr<MRRetryableNetworkOperation>
MRServiceOperationQueue::addCacheFavoriteTrackOperationWithItemHash(const std::string& itemHash) {
  CacheOperationFactory factory;
  {
    std::lock_guard guard(kindsMutex_);
    factory = cacheFactory_;
  }
  if (!factory) return nullptr;
  auto operation = factory(itemHash);
  if (!operation) return nullptr;
  addOperation(operation);
  registerWithStatusList(operation);
  return operation;
}

std::shared_ptr<MRServiceOperation> MRServiceOperationQueue::cacheOperationForItemHash(
    const std::string& itemHash) const {
  for (const auto& operation : operations()) {
    const auto* caching = dynamic_cast<const MRFavoriteTrackCaching*>(operation.get());
    if (caching != nullptr && caching->subjectFavoriteTrackItemHash() == itemHash) {
      return std::dynamic_pointer_cast<MRServiceOperation>(operation);
    }
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
