// A delegate made of two callbacks, for a controller that is not itself a
// delegate of the operations it watches.
#pragma once

#include <functional>

#include "base/MRServiceOperation.h"

namespace mr {

class MRServiceOperationDelegateBridge final : public MRServiceOperationDelegate {
 public:
  std::function<void(MRServiceOperation&, MRServiceOperationStatus, float)> progressBlock;
  std::function<void(MRServiceOperation&, MRServiceOperationStatus)> completionBlock;

  void serviceOperationDidGetProgress(MRServiceOperation& operation,
                                      MRServiceOperationStatus status, float progress) override {
    if (progressBlock) progressBlock(operation, status, progress);
  }
  void serviceOperationDidComplete(MRServiceOperation& operation,
                                   MRServiceOperationStatus status) override {
    if (completionBlock) completionBlock(operation, status);
  }
};

}  // namespace mr
