#include "base/ProfileLock.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace mr {

Result<ProfileLock> ProfileLock::tryAcquire(const std::string& path) {
  if (Status made = makeDirectories(parentDirectory(path)); !made.ok()) return made.error();
  auto fd = lockFile(path, false);
  if (fd.ok()) return ProfileLock(path, std::move(*fd));
  if (fd.error().domain() == kPosixErrorDomain && fd.error().code() == EWOULDBLOCK) {
    return Error(kMireluneErrorDomain, kErrorHeldElsewhere,
                 "another process holds the lock " + path);
  }
  return fd.error();
}

Result<ProfileLock> ProfileLock::acquire(const std::string& path, Clock& clock, SteadyTime deadline,
                                         const std::function<bool()>& cancelled,
                                         Duration interval) {
  // flock cannot be told to give up, so the wait is a poll on the clock.
  std::mutex mutex;
  std::condition_variable never;
  for (;;) {
    auto lock = tryAcquire(path);
    if (lock.ok() || lock.error().domain() != kMireluneErrorDomain ||
        lock.error().code() != kErrorHeldElsewhere) {
      return lock;
    }
    if (cancelled && cancelled()) {
      return Error(kMireluneErrorDomain, kErrorWaitEnded,
                   "the wait for " + path + " was cancelled");
    }
    if (clock.now() >= deadline) {
      return Error(kMireluneErrorDomain, kErrorWaitEnded, "gave up waiting for " + path);
    }
    const Duration left = deadline - clock.now();
    std::unique_lock waiting(mutex);
    clock.sleepUnless(waiting, never, std::min(interval, left), [] { return false; });
  }
}

}  // namespace mr
