#include "base/Clock.h"

#include <thread>

namespace mr {

SteadyTime Clock::deadlineAfter(Duration timeout) const {
  const SteadyTime start = now();
  if (timeout >= kNoDeadline - start) return kNoDeadline;
  return start + timeout;
}

Clock& Clock::real() {
  static RealClock clock;
  return clock;
}

SteadyTime RealClock::now() const {
  return std::chrono::steady_clock::now();
}

Date RealClock::currentDate() const {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return Date{std::chrono::duration<double>(since).count()};
}

void RealClock::sleepFor(Duration duration) {
  if (duration > Duration::zero()) std::this_thread::sleep_for(duration);
}

bool RealClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          SteadyTime deadline, const std::function<bool()>& ready) {
  if (deadline == kNoDeadline) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_until(lock, deadline, ready);
}

FakeClock::FakeClock(Date start) : now_(SteadyTime{} + std::chrono::hours(1)), date_(start) {}

SteadyTime FakeClock::now() const {
  std::lock_guard guard(mutex_);
  return now_;
}

Date FakeClock::currentDate() const {
  std::lock_guard guard(mutex_);
  return date_;
}

void FakeClock::advance(Duration duration) {
  std::lock_guard guard(mutex_);
  now_ += duration;
  date_ = date_.addingSeconds(toSeconds(duration));
  for (auto* cv : waiters_)
    cv->notify_all();
}

void FakeClock::setDate(Date date) {
  std::lock_guard guard(mutex_);
  date_ = date;
}

void FakeClock::sleepFor(Duration duration) {
  if (duration <= Duration::zero()) return;
  {
    std::lock_guard guard(mutex_);
    slept_ += duration;
  }
  advance(duration);
}

Duration FakeClock::totalSlept() const {
  std::lock_guard guard(mutex_);
  return slept_;
}

int FakeClock::waiterCount() const {
  std::lock_guard guard(mutex_);
  return static_cast<int>(waiters_.size());
}

bool FakeClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          SteadyTime deadline, const std::function<bool()>& ready) {
  {
    std::lock_guard guard(mutex_);
    waiters_.insert(&cv);
  }
  bool result = false;
  for (;;) {
    if (ready()) {
      result = true;
      break;
    }
    if (now() >= deadline) break;
    // advance() notifies without holding the waiter's mutex, so a wake-up can
    // slip between the checks above and the wait; the short real bound makes
    // such a miss cost a millisecond instead of a hang.
    cv.wait_for(lock, std::chrono::milliseconds(1));
  }
  std::lock_guard guard(mutex_);
  waiters_.erase(waiters_.find(&cv));
  return result;
}

bool FakeClock::sleepUnless(std::unique_lock<std::mutex>&, std::condition_variable&,
                            Duration duration, const std::function<bool()>& ready) {
  if (ready()) return true;
  sleepFor(duration);
  return ready();
}

}  // namespace mr
