#include "base/MRRetryableNetworkOperation.h"

#include "base/OperationQueue.h"

namespace mr {

std::shared_ptr<MRRetryableNetworkOperation> MRRetryableNetworkOperation::retry() {
  auto owner = queue();
  if (!owner) return nullptr;
  return retry(*owner);
}

std::shared_ptr<MRRetryableNetworkOperation> MRRetryableNetworkOperation::retry(
    OperationQueue& queue) {
  if (!isFinished()) return nullptr;
  auto copy = duplicate();
  if (copy) queue.addOperation(copy);
  return copy;
}

std::shared_ptr<MRRetryableNetworkOperation> MRRetryableNetworkOperation::duplicate() const {
  return std::make_shared<MRRetryableNetworkOperation>(env());
}

}  // namespace mr
