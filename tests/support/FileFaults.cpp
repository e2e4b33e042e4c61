#include "support/FileFaults.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace mr::test {

FullDisk::FullDisk() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  if (::sigaction(SIGXFSZ, &ignore, &savedAction_) != 0 ||
      ::getrlimit(RLIMIT_FSIZE, &saved_) != 0) {
    throw std::runtime_error("cannot limit file sizes");
  }
  rlimit none = saved_;
  none.rlim_cur = 0;
  if (::setrlimit(RLIMIT_FSIZE, &none) != 0) throw std::runtime_error("cannot limit file sizes");
}

FullDisk::~FullDisk() {
  ::setrlimit(RLIMIT_FSIZE, &saved_);
  ::sigaction(SIGXFSZ, &savedAction_, nullptr);
}

void makeUnreadable(const std::string& path) {
  // Reading a process's own memory at address 0 fails with EIO, for root too.
  std::remove(path.c_str());
  if (::symlink("/proc/self/mem", path.c_str()) != 0)
    throw std::runtime_error("cannot make " + path + " unreadable");
}

}  // namespace mr::test
