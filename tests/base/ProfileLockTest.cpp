#include "base/ProfileLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>

#include "support/TempDir.h"

namespace mr {
namespace {

bool heldElsewhere(const Result<ProfileLock>& lock) {
  return !lock.ok() && lock.error().domain() == kMireluneErrorDomain &&
         lock.error().code() == ProfileLock::kErrorHeldElsewhere;
}

bool waitEnded(const Result<ProfileLock>& lock) {
  return !lock.ok() && lock.error().domain() == kMireluneErrorDomain &&
         lock.error().code() == ProfileLock::kErrorWaitEnded;
}

TEST(ProfileLockTest, OneHolderAtATimeAndTheFolderIsMade) {
  test::TempDir dir;
  const std::string path = dir.file("data/mirelune/song-check.lock");
  auto first = ProfileLock::tryAcquire(path);
  ASSERT_TRUE(first.ok()) << first.error().toString();
  EXPECT_TRUE(heldElsewhere(ProfileLock::tryAcquire(path)));
  // Another job of the same profile has a lock of its own.
  EXPECT_TRUE(ProfileLock::tryAcquire(dir.file("data/mirelune/recommend-build.lock")).ok());
  {
    ProfileLock moved = std::move(*first);
    EXPECT_TRUE(heldElsewhere(ProfileLock::tryAcquire(path)));
  }
  EXPECT_TRUE(ProfileLock::tryAcquire(path).ok());

  test::writeFile(dir.file("file"), "");
  auto impossible = ProfileLock::tryAcquire(dir.file("file/x.lock"));
  ASSERT_FALSE(impossible.ok());
  EXPECT_FALSE(heldElsewhere(impossible));
}

// Another process holds the lock; it goes when that process dies, with no
// clean-up of its own.
TEST(ProfileLockTest, ALockHeldByAnotherProcessGoesWithIt) {
  test::TempDir dir;
  const std::string path = dir.file("song-check.lock");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
    const char held = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
    (void)::write(ready[1], &held, 1);
    for (;;)
      ::pause();
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(held, 'y');

  auto refused = ProfileLock::tryAcquire(path);
  EXPECT_TRUE(heldElsewhere(refused));
  if (!refused.ok()) {
    EXPECT_NE(refused.error().description().find(path), std::string::npos);
  }

  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(ProfileLock::tryAcquire(path).ok());
}

TEST(ProfileLockTest, AWaitEndsWithTheHoldersReleaseItsCancelOrItsDeadline) {
  test::TempDir dir;
  const std::string path = dir.file("recommend-build.lock");
  FakeClock clock;
  std::optional<ProfileLock> holder;
  holder.emplace(ProfileLock::tryAcquire(path).value());

  // The holder finishes during the third poll.
  int polls = 0;
  const SteadyTime start = clock.now();
  auto waited = ProfileLock::acquire(path, clock, kNoDeadline, [&] {
    if (++polls == 3) holder.reset();
    return false;
  });
  ASSERT_TRUE(waited.ok()) << waited.error().toString();
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(clock.now() - start, 3 * seconds(0.25));  // one poll interval each

  // Held all along: the deadline ends the wait, on the clock's time.
  const SteadyTime deadline = clock.deadlineAfter(seconds(10));
  EXPECT_TRUE(waitEnded(ProfileLock::acquire(path, clock, deadline)));
  EXPECT_GE(clock.now(), deadline);

  bool cancelled = false;
  EXPECT_TRUE(waitEnded(ProfileLock::acquire(path, clock, kNoDeadline, [&] {
    cancelled = true;
    return true;
  })));
  EXPECT_TRUE(cancelled);
}

}  // namespace
}  // namespace mr
