#include "base/Error.h"

#include <cstring>

namespace mr {

std::string Error::toString() const {
  std::string text = domain_ + " " + std::to_string(code_) + ": " + description_;
  if (!failureReason_.empty()) text += " (" + failureReason_ + ")";
  return text;
}

Error posixError(int err, const std::string& what) {
  return Error(kPosixErrorDomain, err, what + ": " + std::strerror(err));
}

}  // namespace mr
