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
  // The longest text of one element (a string, key, number or data), once
  // decoded. A longer one is an error, so no file can make the reader hold
  // a single value of any size.
  size_t maxTextBytes = size_t{1} << 20;
  // readFile reads blocks of this size and keeps at most two in memory. One
  // element with its markup must fit in a block, so it is larger than
  // maxTextBytes; tests make it small to try the edges of blocks.
  size_t blockBytes = size_t{2} << 20;
};

class PlistReader {
 public:
  static Result<Value> readString(std::string_view document, const PlistReadOptions& options = {});
  // Reads the file in blocks, so memory stays near the size of what is kept
  // rather than the size of the file. Only a regular file is read (a FIFO or
  // a device is refused without waiting on it), and a file that shrinks,
  // grows or is rewritten while it is read gives an error.
  static Result<Value> readFile(const std::string& path, const PlistReadOptions& options = {});
};

}  // namespace mr
