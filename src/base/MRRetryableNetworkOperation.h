// A job that can fail with an error and be run again as a fresh copy.
#pragma once

#include <optional>

#include "base/Error.h"
#include "base/MRServiceOperation.h"

namespace mr {

class OperationQueue;

class MRRetryableNetworkOperation : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;

  // When this operation has finished: a duplicate added to `queue` (the
  // queue this one ran on when none is given). Otherwise nothing.
  std::shared_ptr<MRRetryableNetworkOperation> retry();
  std::shared_ptr<MRRetryableNetworkOperation> retry(OperationQueue& queue);
  // A fresh, unstarted copy made from the same subject. Subclasses return
  // their own kind; the base returns a plain retryable operation.
  virtual std::shared_ptr<MRRetryableNetworkOperation> duplicate() const;
};

}  // namespace mr
