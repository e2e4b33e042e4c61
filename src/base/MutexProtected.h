// State that is only reached with its mutex held: the value and its lock
// live together, so no code path can touch one without the other.
//   MutexProtected<std::vector<int>> numbers;
//   numbers.with([](auto& list) { list.push_back(1); });
//   auto copy = numbers.get();
#pragma once

#include <mutex>
#include <utility>

namespace mr {

template <class T>
class MutexProtected {
 public:
  template <class... Args>
  explicit MutexProtected(Args&&... args) : value_(std::forward<Args>(args)...) {}
  MutexProtected(const MutexProtected&) = delete;
  MutexProtected& operator=(const MutexProtected&) = delete;

  // Runs `use` on the value with the mutex held and returns what it returns.
  template <class Use>
  decltype(auto) with(Use&& use) {
    std::lock_guard guard(mutex_);
    return std::forward<Use>(use)(value_);
  }
  template <class Use>
  decltype(auto) with(Use&& use) const {
    std::lock_guard guard(mutex_);
    return std::forward<Use>(use)(static_cast<const T&>(value_));
  }

  // A copy of the value.
  T get() const {
    std::lock_guard guard(mutex_);
    return value_;
  }
  void set(T value) {
    std::lock_guard guard(mutex_);
    value_ = std::move(value);
  }
  // Replaces the value and returns the old one.
  T exchange(T value) {
    std::lock_guard guard(mutex_);
    return std::exchange(value_, std::move(value));
  }

 private:
  mutable std::mutex mutex_;
  T value_;
};

}  // namespace mr
