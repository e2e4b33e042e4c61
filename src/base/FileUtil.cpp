#include "base/FileUtil.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Random.h"

namespace mr {

Result<std::string> readFileToString(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return posixError(errno, "cannot open " + path);
  std::string contents;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return posixError(err, "cannot read " + path);
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return contents;
}

Status writeFileAtomically(const std::string& path, std::string_view contents, unsigned mode) {
  const std::string temporary =
      path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(randomUint32());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return posixError(errno, "cannot create " + temporary);
  const auto failWith = [&](int err, const std::string& what) -> Status {
    ::close(fd);
    ::unlink(temporary.c_str());
    return posixError(err, what);
  };
  if (::fchmod(fd, mode) != 0) return failWith(errno, "cannot set the mode of " + temporary);
  size_t written = 0;
  while (written < contents.size()) {
    const ssize_t put = ::write(fd, contents.data() + written, contents.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return failWith(errno, "cannot write " + temporary);
    }
    written += static_cast<size_t>(put);
  }
  if (::fsync(fd) != 0) return failWith(errno, "cannot sync " + temporary);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    return posixError(err, "cannot close " + temporary);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    return posixError(err, "cannot replace " + path);
  }
  const int dir = ::open(parentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

Status makeDirectories(const std::string& path) {
  if (path.empty()) return {};
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return {};
    return Error(kPosixErrorDomain, ENOTDIR, path + " exists and is not a folder");
  }
  const std::string parent = parentDirectory(path);
  if (parent != path) {
    if (Status made = makeDirectories(parent); !made.ok()) return made;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return posixError(errno, "cannot create the folder " + path);
  }
  return {};
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string parentDirectory(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

Result<UniqueFd> lockFile(const std::string& path, bool wait) {
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) return posixError(errno, "cannot open the lock file " + path);
  while (::flock(fd.get(), LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
    if (errno == EINTR) continue;
    return posixError(errno, "cannot lock " + path);
  }
  return fd;
}

}  // namespace mr
