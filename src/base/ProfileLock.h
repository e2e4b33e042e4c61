// Work that must run once per profile at a time, across processes (the song
// check, the recommendation build): an exclusive lock on a file in the data
// folder. The kernel drops it with the descriptor, so a holder that exits or
// crashes never leaves it behind.
#pragma once

#include <functional>
#include <string>

#include "base/Clock.h"
#include "base/Error.h"
#include "base/FileUtil.h"

namespace mr {

class ProfileLock {
 public:
  // Domain "mirelune": another process holds the lock.
  static constexpr int64_t kErrorHeldElsewhere = 9000201;
  // Domain "mirelune": a wait for the lock was cancelled or ran out of time.
  static constexpr int64_t kErrorWaitEnded = 9000202;

  // Takes the lock now, or fails with kErrorHeldElsewhere. Makes the folder
  // when needed.
  static Result<ProfileLock> tryAcquire(const std::string& path);
  // Waits for the lock, trying again every `interval` on the clock, until it
  // is free, `cancelled()` turns true or the deadline passes (both end with
  // kErrorWaitEnded).
  static Result<ProfileLock> acquire(const std::string& path, Clock& clock,
                                     SteadyTime deadline = kNoDeadline,
                                     const std::function<bool()>& cancelled = nullptr,
                                     Duration interval = seconds(0.25));

  ProfileLock(ProfileLock&&) noexcept = default;
  ProfileLock& operator=(ProfileLock&&) noexcept = default;

  const std::string& path() const { return path_; }

 private:
  ProfileLock(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}

  std::string path_;
  UniqueFd fd_;
};

}  // namespace mr
