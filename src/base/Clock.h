// Time as the program sees it. Every sleep, poll, timer and time-out goes
// through a Clock, so tests swap in a FakeClock and a 30-second deadline
// passes the moment the test says so.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>

#include "base/Date.h"

namespace mr {

using SteadyTime = std::chrono::steady_clock::time_point;
using Duration = std::chrono::steady_clock::duration;

inline constexpr SteadyTime kNoDeadline = SteadyTime::max();

// Seconds as a Duration, for constants written in seconds ("0.3 s").
constexpr Duration seconds(double value) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(value));
}
inline double toSeconds(Duration duration) {
  return std::chrono::duration<double>(duration).count();
}

class Clock {
 public:
  virtual ~Clock() = default;

  // Monotonic time for intervals and deadlines.
  virtual SteadyTime now() const = 0;
  // Calendar time, for dates shown or stored.
  virtual Date currentDate() const = 0;
  virtual void sleepFor(Duration duration) = 0;

  // Waits on `cv` (whose mutex `lock` holds) until `ready()` is true or the
  // deadline passes, and returns ready(). Whoever makes ready() true must
  // notify `cv`; spurious wake-ups are handled here.
  virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         SteadyTime deadline, const std::function<bool()>& ready) = 0;

  bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Duration timeout,
               const std::function<bool()>& ready) {
    return waitUntil(lock, cv, deadlineAfter(timeout), ready);
  }
  SteadyTime deadlineAfter(Duration timeout) const;
  // A sleep that ends early when ready() turns true (notified through `cv`):
  // returns ready(). A fake clock does not wait; it moves on by the whole
  // duration, as sleepFor() does.
  virtual bool sleepUnless(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                           Duration duration, const std::function<bool()>& ready) {
    return waitFor(lock, cv, duration, ready);
  }

  // The process's real clock.
  static Clock& real();
};

class RealClock final : public Clock {
 public:
  SteadyTime now() const override;
  Date currentDate() const override;
  void sleepFor(Duration duration) override;
  bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 SteadyTime deadline, const std::function<bool()>& ready) override;
};

// A clock that moves only when told. sleepFor() moves it by the time slept,
// and waiters whose deadline has passed wake up as soon as it moves.
class FakeClock final : public Clock {
 public:
  explicit FakeClock(Date start = Date{1700000000.0});

  SteadyTime now() const override;
  Date currentDate() const override;
  void sleepFor(Duration duration) override;
  bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                 SteadyTime deadline, const std::function<bool()>& ready) override;
  bool sleepUnless(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                   Duration duration, const std::function<bool()>& ready) override;

  void advance(Duration duration);
  void setDate(Date date);
  // Total time passed through sleepFor(), for tests of spacing rules.
  Duration totalSlept() const;
  // How many threads are in waitUntil() right now.
  int waiterCount() const;

 private:
  mutable std::mutex mutex_;
  SteadyTime now_;
  Date date_;
  Duration slept_{};
  std::multiset<std::condition_variable*> waiters_;
};

}  // namespace mr
