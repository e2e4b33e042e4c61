// Small file helpers with errors as values.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "base/Error.h"

namespace mr {

Result<std::string> readFileToString(const std::string& path);
// Writes a temporary file beside `path`, syncs it, renames it over `path`
// and syncs the folder: readers see the old or the new file, never a part.
Status writeFileAtomically(const std::string& path, std::string_view contents,
                           unsigned mode = 0600);
// Creates the folder and its parents (mode 0700 for the ones it makes).
Status makeDirectories(const std::string& path);
bool fileExists(const std::string& path);
std::string parentDirectory(const std::string& path);

// A file descriptor that closes itself.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Opens `path` (made with mode 0600 when missing) and takes an exclusive
// advisory lock on it (flock), held while the descriptor stays open: the
// kernel drops it when the process ends, however it ends. Two opens conflict
// even within one process. With `wait` false, a lock held elsewhere is the
// error EWOULDBLOCK at once.
Result<UniqueFd> lockFile(const std::string& path, bool wait);

}  // namespace mr
