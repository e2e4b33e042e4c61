// A value that is only reached while its mutex is held:
//   MutexProtected<std::vector<int>> numbers;
//   numbers.with([](auto& list) { list.push_back(1); });
//   auto copy = numbers.get();
#pragma once

#include <mutex>
#include <utility>

namespace mr {

template <class T, class Mutex = std::mutex>
class MutexProtected {
 public:
  MutexProtected() = default;
  template <class... Args>
  explicit MutexProtected(std::in_place_t, Args&&... args) : value_(std::forward<Args>(args)...) {}
  MutexProtected(const MutexProtected&) = delete;
  MutexProtected& operator=(const MutexProtected&) = delete;

  // Runs `fn` with the value while the lock is held; returns what it returns.
  template <class Fn>
  decltype(auto) with(Fn&& fn) {
    std::lock_guard guard(mutex_);
    return std::forward<Fn>(fn)(value_);
  }
  template <class Fn>
  decltype(auto) with(Fn&& fn) const {
    std::lock_guard guard(mutex_);
    return std::forward<Fn>(fn)(value_);
  }

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
  mutable Mutex mutex_;
  T value_{};
};

}  // namespace mr
