#include "app/MRBackgroundWork.h"

#include "base/HttpEngine.h"
#include "base/Log.h"
#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperationQueue.h"
#include "base/ThreadPool.h"

namespace mr {

bool finishBackgroundWork(const Env& env, Duration limit) {
  auto service = MRServiceOperationQueue::sharedQueueIfMade();
  auto network = MRNetworkOperationQueue::sharedQueueIfMade();
  if (service) service->cancelAllOperations();
  if (network) network->cancelAllOperations();
  // Jobs waiting for an answer hear now that none will come.
  if (auto engine = sharedHttpEngineIfMade()) engine->shutdown();
  const SteadyTime deadline = env.clock().deadlineAfter(limit);
  bool ended = true;
  if (service) ended = service->waitUntilAllOperationsAreFinished(env.clock(), deadline) && ended;
  if (network) ended = network->waitUntilAllOperationsAreFinished(env.clock(), deadline) && ended;
  if (!ended) {
    log::warning("Background jobs still running after {} s", toSeconds(limit));
    return false;
  }
  env.background().waitIdle();
  return true;
}

}  // namespace mr
