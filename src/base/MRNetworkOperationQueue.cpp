#include "base/MRNetworkOperationQueue.h"

#include "base/Log.h"

namespace mr {
namespace {
SharedInstance<MRNetworkOperationQueue>& shared() {
  static SharedInstance<MRNetworkOperationQueue> instance;
  return instance;
}
}  // namespace

MRNetworkOperationQueue::MRNetworkOperationQueue(Reachability& reachability)
    : OperationQueue("MRNetworkOperationQueue", 0), reachability_(reachability) {}

std::shared_ptr<MRNetworkOperationQueue> MRNetworkOperationQueue::create(
    Reachability& reachability) {
  std::shared_ptr<MRNetworkOperationQueue> queue(new MRNetworkOperationQueue(reachability));
  std::weak_ptr<MRNetworkOperationQueue> weak = queue;
  queue->observer_ = reachability.addObserver([weak](NetworkStatus) {
    if (auto alive = weak.lock()) alive->reachabilityChangedHandler();
  });
  queue->reachabilityChangedHandler();
  return queue;
}

MRNetworkOperationQueue::~MRNetworkOperationQueue() {
  reachability_.removeObserver(observer_);
}

std::shared_ptr<MRNetworkOperationQueue> MRNetworkOperationQueue::sharedQueue() {
  return shared().get([] { return create(Env::defaultEnv().reachability()); });
}

std::shared_ptr<MRNetworkOperationQueue> MRNetworkOperationQueue::sharedQueueIfMade() {
  return shared().peek();
}

void MRNetworkOperationQueue::setSharedQueue(std::shared_ptr<MRNetworkOperationQueue> queue) {
  shared().replace(std::move(queue));
}

int MRNetworkOperationQueue::widthForStatus(NetworkStatus status) {
  switch (status) {
    case NetworkStatus::NotReachable:
      return 0;
    case NetworkStatus::ReachableViaWWAN:
      return 3;
    case NetworkStatus::ReachableViaWiFi:
    case NetworkStatus::ReachableViaWired:
      return 5;
  }
  return 0;
}

void MRNetworkOperationQueue::addNetworkOperation(std::shared_ptr<Operation> operation,
                                                  QueuePriority priority) {
  addOperation(std::move(operation), priority);
}

void MRNetworkOperationQueue::reachabilityChangedHandler() {
  const int width = widthForStatus(reachability_.currentStatus());
  if (width != maxConcurrentOperationCount()) {
    log::debug("MRNetworkOperationQueue: {} at once", width);
  }
  setMaxConcurrentOperationCount(width);
}

}  // namespace mr
