// A counting semaphore whose waits can carry a deadline on a Clock.
#pragma once

#include <condition_variable>
#include <mutex>

#include "base/Clock.h"

namespace mr {

class Semaphore {
 public:
  explicit Semaphore(Clock& clock, int initial = 0) : clock_(clock), count_(initial) {}

  void signal();
  void wait();
  // False when the deadline passed before a signal arrived.
  bool waitUntil(SteadyTime deadline);
  bool waitFor(Duration timeout) { return waitUntil(clock_.deadlineAfter(timeout)); }

 private:
  Clock& clock_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int count_;
};

}  // namespace mr
