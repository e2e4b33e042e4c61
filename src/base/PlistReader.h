// Apple XML property lists to Value: dict, array, string, integer, real,
// true, false, date and data.
//
// Music libraries of 150 MB are ordinary, so the reader is a single pass
// over the bytes that builds Values as it goes, and can hand the members of
// chosen containers to a callback instead of keeping them (the tracks of a
// library, one at a time). It checks what it reads: well-formed nesting, the
// plist vocabulary, UTF-8, entities; it refuses entity declarations and never
// loads the DTD. Errors name the line and column.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Error.h"
#include "base/Value.h"

namespace mr {

struct PlistStream {
  // Dictionary keys from the root to a dict or array ({"Tracks"}).
  std::vector<std::string> path;
  // Receives each member of that container in document order, instead of the
  // tree; `key` is empty for array members. An error stops the reading.
  std::function<Status(std::string key, Value value)> onMember;
  // When not empty, only these entries of each member (a dictionary) are
  // kept; the others are read and checked, but not built.
  std::vector<std::string> memberKeys;
};

struct PlistReadOptions {
  std::vector<PlistStream> streams;
  // Called every few megabytes with the bytes read so far and the total.
  std::function<void(size_t bytesRead, size_t totalBytes)> onProgress;
};

class PlistReader {
 public:
  static Result<Value> readString(std::string_view document, const PlistReadOptions& options = {});
  // Maps the file and lets the kernel drop the pages already read, so memory
  // stays near the size of what is kept rather than the size of the file.
  static Result<Value> readFile(const std::string& path, const PlistReadOptions& options = {});
};

}  // namespace mr
