// The local store: one SQLite file, and the contexts through which it is
// read and written.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Error.h"
#include "store/Connection.h"

namespace mr {

class Context;

class Database : public std::enable_shared_from_this<Database> {
 public:
  static constexpr const char* kFileName = "mirelune.sqlite";

  enum class OpenMode {
    AsIs,       // a new file gets the schema; an older one is refused
    Migrating,  // an older file is upgraded in place, in one transaction
  };
  // Opens (creating it and its folders when missing) the store file. A file
  // that is not a store, or was made by a newer version, is refused in
  // either mode.
  static Result<std::shared_ptr<Database>> open(const std::string& path, OpenMode mode);
  // The schema version of a file, 0 for a new one.
  static Result<int> schemaVersionOf(const std::string& path);

  // A context of its own for one controller or task, used from one thread
  // at a time.
  std::shared_ptr<Context> newContext();
  // The screens' context, used on the main thread only.
  std::shared_ptr<Context> mainContext();

  const std::string& path() const { return path_; }

  // A full disk, for tests: from now on the file may grow to `pages` pages
  // (SQLite's max_page_count), and writes beyond fail with SQLITE_FULL. 0
  // lifts the limit. Contexts take it up at their next change.
  void limitSizeForTesting(int64_t pages) { pageLimit_ = pages > 0 ? pages : 4294967294; }
  int64_t pageLimitForTesting() const { return pageLimit_.load(); }
  // The file's size in pages, for tests that leave a little room.
  int64_t pageCount();

 private:
  friend class Context;
  explicit Database(std::string path) : path_(std::move(path)) {}
  Result<std::unique_ptr<Connection>> takeConnection();
  void giveBack(std::unique_ptr<Connection> connection);

  const std::string path_;
  std::atomic<int64_t> pageLimit_{0};  // 0: never limited
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::mutex mainMutex_;
  std::weak_ptr<Context> mainContext_;  // lives while its users hold it
};

}  // namespace mr
