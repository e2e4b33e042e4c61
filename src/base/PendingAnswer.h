// One answer that a callback on another thread hands to an operation
// waiting for it in its main(). The callback may come late, or after the
// operation is gone, so it touches only this; the operation detaches before
// its main() returns, and never lends the callback a reference to itself.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "base/Operation.h"

namespace mr {

template <class T>
class PendingAnswer {
 public:
  explicit PendingAnswer(Operation& waiter) : waiter_(&waiter) {}

  // The first answer counts (no value: it came with nothing); later ones,
  // and any after detach(), are dropped.
  void deliver(std::optional<T> value) {
    std::lock_guard guard(mutex_);
    if (arrived_) return;
    answer_ = std::move(value);
    arrived_ = true;
    if (waiter_ != nullptr) waiter_->wake();
  }
  // For the waiter's waitFor() condition.
  bool arrived() const { return arrived_.load(); }
  // Stops waking the waiter and hands over the answer, if it came.
  std::optional<T> detach() {
    std::lock_guard guard(mutex_);
    waiter_ = nullptr;
    arrived_ = true;
    return std::move(answer_);
  }

 private:
  std::mutex mutex_;
  Operation* waiter_;
  std::atomic<bool> arrived_{false};
  std::optional<T> answer_;
};

}  // namespace mr
