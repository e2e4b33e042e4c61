// Whether the conversion thread runs, is paused (an audio interruption) or
// is done. The converter checks it between chunks and waits while paused.
#pragma once

#include <condition_variable>
#include <mutex>

#include "base/Clock.h"

namespace mr {

class MRConversionThreadState {
 public:
  enum class State { Running = 0, Paused = 1, Done = 2 };

  explicit MRConversionThreadState(Clock& clock) : clock_(clock) {}

  // Done to running; false (nothing changes) when a conversion already runs.
  bool setRunning();
  // Waits while paused; returns whether it had to wait.
  bool pausedCheck();
  // Running or paused to done; wakes a paused waiter, which then goes on.
  void setDone();
  // Running to paused, and paused back to running; other states are kept.
  void beginInterruption();
  void endInterruption();

  State state() const;

 private:
  Clock& clock_;
  // The mutex guards state_ and is the condition's.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = State::Done;
};

}  // namespace mr
