#include "social/MRConversionThreadState.h"

namespace mr {

bool MRConversionThreadState::setRunning() {
  std::lock_guard lock(mutex_);
  if (state_ != State::Done) return false;
  state_ = State::Running;
  return true;
}

bool MRConversionThreadState::pausedCheck() {
  std::unique_lock lock(mutex_);
  if (state_ != State::Paused) return false;
  clock_.waitUntil(lock, changed_, kNoDeadline, [this] { return state_ != State::Paused; });
  return true;
}

void MRConversionThreadState::setDone() {
  {
    std::lock_guard lock(mutex_);
    state_ = State::Done;
  }
  changed_.notify_all();
}

void MRConversionThreadState::beginInterruption() {
  std::lock_guard lock(mutex_);
  if (state_ == State::Running) state_ = State::Paused;
}

void MRConversionThreadState::endInterruption() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Paused) return;
    state_ = State::Running;
  }
  changed_.notify_all();
}

MRConversionThreadState::State MRConversionThreadState::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

}  // namespace mr
