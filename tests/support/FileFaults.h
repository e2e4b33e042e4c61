// File-system faults on demand, the same as root and as a user (root reads
// and writes through any permission bits, so chmod cannot make them).
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <string>

namespace mr::test {

// While it lives, no file of this process can grow: every write to a
// regular file fails with EFBIG, as on a full disk (the kernel's file-size
// limit at 0, with SIGXFSZ ignored so the write fails instead of ending the
// process). Creating, renaming and removing files still work. Output this
// process sends to a regular file meanwhile (a log redirected to one) is
// lost too.
class FullDisk {
 public:
  FullDisk();
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  rlimit saved_{};
  struct sigaction savedAction_ {};
};

// Puts at `path` (replacing what is there) a link to a file that opens but
// whose every read fails with EIO: a file that exists and cannot be read.
void makeUnreadable(const std::string& path);

}  // namespace mr::test
