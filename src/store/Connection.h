// One SQLite connection with its prepared statements kept for reuse.
// Used by one thread at a time.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/Error.h"
#include "base/Value.h"

namespace mr {

inline constexpr const char* kStoreErrorDomain = "mirelune.store";

// A column value as SQLite holds it: NULL, integer, real, text or blob.
using SqlValue = std::variant<std::monostate, int64_t, double, std::string, Bytes>;
using SqlRow = std::vector<SqlValue>;

class Connection;

// A prepared statement lent by its connection; reset when the lease ends.
class Statement {
 public:
  // `inUse` is the cache's flag for a cached statement, nullptr for one of
  // its own (finalized when the lease ends).
  Statement(sqlite3_stmt* statement, bool* inUse, Connection& connection);
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  ~Statement();

  Statement& bind(int index, const SqlValue& value);  // 1-based
  Statement& bindAll(const std::vector<SqlValue>& values);
  // True with a row to read, false when done; errors land in `status`.
  bool step(Status& status);
  SqlValue column(int index) const;  // 0-based
  int columnCount() const;

 private:
  sqlite3_stmt* statement_;
  bool* inUse_;
  Connection* connection_;
};

class Connection {
 public:
  // Opens the file in WAL mode with foreign keys on and a busy timeout.
  static Result<std::unique_ptr<Connection>> open(const std::string& path);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Statements without parameters or results, separated by ";".
  Status exec(const std::string& sql);
  Result<Statement> prepare(const std::string& sql);
  // Runs a statement that returns no rows.
  Status run(const std::string& sql, const std::vector<SqlValue>& parameters = {});
  Result<std::vector<SqlRow>> query(const std::string& sql,
                                    const std::vector<SqlValue>& parameters = {});
  // The first column of the first row, or NULL.
  Result<SqlValue> scalar(const std::string& sql, const std::vector<SqlValue>& parameters = {});

  int64_t lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }
  int changes() const { return sqlite3_changes(db_); }
  // False while a transaction is open.
  bool isAutocommit() const { return sqlite3_get_autocommit(db_) != 0; }
  sqlite3* handle() const { return db_; }

  Error error(int code, const std::string& what) const;
  size_t cachedStatementCount() const { return cache_.size(); }

 private:
  friend class Statement;
  explicit Connection(sqlite3* db) : db_(db) {}

  // Statements kept for reuse; the least recently used idle one makes room.
  static constexpr size_t kCachedStatements = 96;

  sqlite3* db_;
  struct CachedStatement {
    sqlite3_stmt* statement = nullptr;
    bool inUse = false;
    uint64_t lastUse = 0;
  };
  void makeRoomInCache();

  std::unordered_map<std::string, CachedStatement> cache_;
  uint64_t uses_ = 0;
};

// SQL values from optional model values, and back.
SqlValue toSql(const std::optional<std::string>& text);
SqlValue toSql(const std::optional<int64_t>& integer);
SqlValue toSql(const std::optional<double>& real);
SqlValue toSql(const std::optional<bool>& flag);
SqlValue toSql(const std::optional<Date>& date);
SqlValue toSql(const std::optional<Bytes>& blob);
std::optional<std::string> textOf(const SqlValue& value);
std::optional<int64_t> integerOf(const SqlValue& value);
std::optional<double> realOf(const SqlValue& value);
std::optional<bool> boolOf(const SqlValue& value);
std::optional<Date> dateOf(const SqlValue& value);
std::optional<Bytes> blobOf(const SqlValue& value);

}  // namespace mr
