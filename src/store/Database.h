// The local store: one SQLite file, and the contexts through which it is
// read and written.
#pragma once

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

 private:
  friend class Context;
  explicit Database(std::string path) : path_(std::move(path)) {}
  Result<std::unique_ptr<Connection>> takeConnection();
  void giveBack(std::unique_ptr<Connection> connection);

  const std::string path_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
  std::mutex mainMutex_;
  std::weak_ptr<Context> mainContext_;  // lives while its users hold it
};

}  // namespace mr
