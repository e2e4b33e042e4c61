#include "base/Semaphore.h"

namespace mr {

void Semaphore::signal() {
  std::lock_guard guard(mutex_);
  ++count_;
  cv_.notify_one();
}

void Semaphore::wait() {
  waitUntil(kNoDeadline);
}

bool Semaphore::waitUntil(SteadyTime deadline) {
  std::unique_lock lock(mutex_);
  if (!clock_.waitUntil(lock, cv_, deadline, [this] { return count_ > 0; })) return false;
  --count_;
  return true;
}

}  // namespace mr
