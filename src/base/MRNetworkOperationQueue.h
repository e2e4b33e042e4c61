// The queue of the small network steps. Its width follows reachability: 0
// when offline (queued steps wait, running ones go on), 3 on a cellular
// link, 5 otherwise.
#pragma once

#include <memory>

#include "base/Env.h"
#include "base/OperationQueue.h"
#include "base/Reachability.h"

namespace mr {

class MRNetworkOperationQueue : public OperationQueue {
 public:
  static std::shared_ptr<MRNetworkOperationQueue> create(Reachability& reachability);
  ~MRNetworkOperationQueue() override;

  static std::shared_ptr<MRNetworkOperationQueue> sharedQueue();
  static void setSharedQueue(std::shared_ptr<MRNetworkOperationQueue> queue);
  // The shared queue if it was made; nullptr otherwise.
  static std::shared_ptr<MRNetworkOperationQueue> sharedQueueIfMade();

  static int widthForStatus(NetworkStatus status);

  // Sets the priority and adds, under the queue's lock.
  void addNetworkOperation(std::shared_ptr<Operation> operation, QueuePriority priority);
  // Sets the width from the current status.
  void reachabilityChangedHandler();
  Reachability& reachability() const { return reachability_; }

 private:
  explicit MRNetworkOperationQueue(Reachability& reachability);

  Reachability& reachability_;
  Reachability::Token observer_ = 0;
};

}  // namespace mr
