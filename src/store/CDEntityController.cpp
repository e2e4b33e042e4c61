#include "store/CDEntityController.h"

namespace mr {

CDEntityController::CDEntityController(Database* store)
    : context_(store != nullptr ? store->newContext() : nullptr) {}

CDEntityController::CDEntityController(std::shared_ptr<Context> context)
    : context_(std::move(context)) {}

Status CDEntityController::save() {
  if (!context_) {
    lastError_ = Error(kStoreErrorDomain, 1000, "the store is not open");
    return *lastError_;
  }
  Status status = context_->save();
  lastError_ = status.ok() ? std::nullopt : std::optional<Error>(status.error());
  return status;
}

int64_t CDEntityController::countAllItems() const {
  return context_ ? context_->count(entity()) : 0;
}

}  // namespace mr
