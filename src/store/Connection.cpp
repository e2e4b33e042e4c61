#include "store/Connection.h"

#include "base/Log.h"

namespace mr {

namespace {
constexpr int kBusyTimeoutMs = 30000;
}

Statement::Statement(sqlite3_stmt* statement, bool* inUse, Connection& connection)
    : statement_(statement), inUse_(inUse), connection_(&connection) {}

Statement::Statement(Statement&& other) noexcept
    : statement_(other.statement_), inUse_(other.inUse_), connection_(other.connection_) {
  other.statement_ = nullptr;
}

Statement::~Statement() {
  if (statement_ == nullptr) return;
  if (inUse_ != nullptr) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    *inUse_ = false;
  } else {
    sqlite3_finalize(statement_);
  }
}

Statement& Statement::bind(int index, const SqlValue& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          sqlite3_bind_null(statement_, index);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          sqlite3_bind_int64(statement_, index, v);
        } else if constexpr (std::is_same_v<T, double>) {
          sqlite3_bind_double(statement_, index, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          sqlite3_bind_text64(statement_, index, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
          sqlite3_bind_blob64(statement_, index, v.data(), v.size(), SQLITE_TRANSIENT);
        }
      },
      value);
  return *this;
}

Statement& Statement::bindAll(const std::vector<SqlValue>& values) {
  for (size_t i = 0; i < values.size(); ++i)
    bind(static_cast<int>(i) + 1, values[i]);
  return *this;
}

bool Statement::step(Status& status) {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) status = connection_->error(rc, sqlite3_sql(statement_));
  return false;
}

SqlValue Statement::column(int index) const {
  switch (sqlite3_column_type(statement_, index)) {
    case SQLITE_INTEGER:
      return int64_t{sqlite3_column_int64(statement_, index)};
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement_, index);
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
      return std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement_, index)));
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement_, index));
      return Bytes(data, data + sqlite3_column_bytes(statement_, index));
    }
    default:
      return std::monostate{};
  }
}

int Statement::columnCount() const {
  return sqlite3_column_count(statement_);
}

Result<std::unique_ptr<Connection>> Connection::open(const std::string& path) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<Connection> connection(new Connection(db));
  if (rc != SQLITE_OK) return connection->error(rc, "cannot open " + path);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  // Reading the header here turns a file that is not a database into an
  // error now rather than at the first query.
  if (Status status = connection->exec(
          "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
          // Item hashes land on random index pages: keep them in memory, and
          // checkpoint in large steps rather than every few saves. No memory
          // mapping: an I/O error on a mapped page would end the process.
          "PRAGMA cache_size=-16384; PRAGMA mmap_size=0; PRAGMA wal_autocheckpoint=8192;");
      !status.ok()) {
    return status.error();
  }
  return connection;
}

Connection::~Connection() {
  for (auto& [sql, cached] : cache_)
    sqlite3_finalize(cached.statement);
  sqlite3_close_v2(db_);
}

Error Connection::error(int code, const std::string& what) const {
  const char* message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  return Error(kStoreErrorDomain, code, std::string(message) + " (" + what + ")");
}

Status Connection::exec(const std::string& sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
  if (rc == SQLITE_OK) return {};
  std::string text = message != nullptr ? message : sqlite3_errstr(rc);
  sqlite3_free(message);
  return Error(kStoreErrorDomain, rc, text + " (" + sql.substr(0, 80) + ")");
}

Result<Statement> Connection::prepare(const std::string& sql) {
  auto found = cache_.find(sql);
  if (found != cache_.end() && !found->second.inUse) {
    found->second.inUse = true;
    found->second.lastUse = ++uses_;
    return Statement(found->second.statement, &found->second.inUse, *this);
  }
  sqlite3_stmt* statement = nullptr;
  const int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (rc != SQLITE_OK) return error(rc, sql);
  if (found != cache_.end()) return Statement(statement, nullptr, *this);  // nested use
  if (cache_.size() >= kCachedStatements) makeRoomInCache();
  if (cache_.size() >= kCachedStatements) return Statement(statement, nullptr, *this);
  CachedStatement& cached = cache_[sql];
  cached = CachedStatement{statement, true, ++uses_};
  return Statement(statement, &cached.inUse, *this);
}

void Connection::makeRoomInCache() {
  auto oldest = cache_.end();
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if (!it->second.inUse && (oldest == cache_.end() || it->second.lastUse < oldest->second.lastUse))
      oldest = it;
  }
  if (oldest == cache_.end()) return;
  sqlite3_finalize(oldest->second.statement);
  cache_.erase(oldest);
}

Status Connection::run(const std::string& sql, const std::vector<SqlValue>& parameters) {
  auto statement = prepare(sql);
  if (!statement.ok()) return statement.error();
  statement->bindAll(parameters);
  Status status;
  statement->step(status);
  return status;
}

Result<std::vector<SqlRow>> Connection::query(const std::string& sql,
                                              const std::vector<SqlValue>& parameters) {
  auto statement = prepare(sql);
  if (!statement.ok()) return statement.error();
  statement->bindAll(parameters);
  std::vector<SqlRow> rows;
  Status status;
  const int columns = statement->columnCount();
  while (statement->step(status)) {
    SqlRow row;
    row.reserve(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i)
      row.push_back(statement->column(i));
    rows.push_back(std::move(row));
  }
  if (!status.ok()) return status.error();
  return rows;
}

Result<SqlValue> Connection::scalar(const std::string& sql,
                                    const std::vector<SqlValue>& parameters) {
  auto statement = prepare(sql);
  if (!statement.ok()) return statement.error();
  statement->bindAll(parameters);
  Status status;
  SqlValue value;
  if (statement->step(status)) value = statement->column(0);
  if (!status.ok()) return status.error();
  return value;
}

SqlValue toSql(const std::optional<std::string>& text) {
  return text ? SqlValue(*text) : SqlValue();
}
SqlValue toSql(const std::optional<int64_t>& integer) {
  return integer ? SqlValue(*integer) : SqlValue();
}
SqlValue toSql(const std::optional<double>& real) {
  return real ? SqlValue(*real) : SqlValue();
}
SqlValue toSql(const std::optional<bool>& flag) {
  return flag ? SqlValue(int64_t{*flag ? 1 : 0}) : SqlValue();
}
SqlValue toSql(const std::optional<Date>& date) {
  return date ? SqlValue(date->secondsSince1970) : SqlValue();
}
SqlValue toSql(const std::optional<Bytes>& blob) {
  return blob ? SqlValue(*blob) : SqlValue();
}

std::optional<std::string> textOf(const SqlValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::nullopt;
}
std::optional<int64_t> integerOf(const SqlValue& value) {
  if (const auto* integer = std::get_if<int64_t>(&value)) return *integer;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<int64_t>(*real);
  return std::nullopt;
}
std::optional<double> realOf(const SqlValue& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* integer = std::get_if<int64_t>(&value)) return static_cast<double>(*integer);
  return std::nullopt;
}
std::optional<bool> boolOf(const SqlValue& value) {
  const auto integer = integerOf(value);
  if (!integer) return std::nullopt;
  return *integer != 0;
}
std::optional<Date> dateOf(const SqlValue& value) {
  const auto seconds = realOf(value);
  if (!seconds) return std::nullopt;
  return Date{*seconds};
}
std::optional<Bytes> blobOf(const SqlValue& value) {
  if (const auto* blob = std::get_if<Bytes>(&value)) return *blob;
  return std::nullopt;
}

}  // namespace mr
