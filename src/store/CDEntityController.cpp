#include "store/CDEntityController.h"

namespace mr {

CDEntityController::CDEntityController(Database* store)
    : context_(store != nullptr ? store->newContext() : nullptr) {}

CDEntityController::CDEntityController(std::shared_ptr<Context> context)
    : context_(std::move(context)) {}

bool CDEntityController::save() {
  if (!context_ || !context_->hasChanges()) return true;
  const Status status = context_->save();
  lastError_ = status.ok() ? std::nullopt : std::optional<Error>(status.error());
  return status.ok();
}

int64_t CDEntityController::countAllItems() const {
  return context_ ? context_->count(entity()) : 0;
}

}  // namespace mr
