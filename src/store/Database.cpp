#include "store/Database.h"

#include "base/FileUtil.h"
#include "base/Log.h"
#include "store/Context.h"
#include "store/Schema.h"

namespace mr {
namespace {

constexpr size_t kIdleConnections = 8;

Error storeError(int64_t code, const std::string& description) {
  return Error(kStoreErrorDomain, code, description);
}

Result<int> readVersion(Connection& connection) {
  auto version = connection.scalar("PRAGMA user_version");
  if (!version.ok()) return version.error();
  return static_cast<int>(integerOf(*version).value_or(0));
}

// Runs the migrations from `from` to the current version as one transaction.
Status migrate(Connection& connection, int from) {
  if (Status begun = connection.exec("BEGIN IMMEDIATE"); !begun.ok()) return begun;
  for (int to = from + 1; to <= kSchemaVersion; ++to) {
    Status step = connection.exec(migrationTo(to));
    if (!step.ok()) {
      (void)connection.exec("ROLLBACK");
      return storeError(step.error().code(), "cannot upgrade the store to version " +
                                                 std::to_string(to) + ": " +
                                                 step.error().description());
    }
  }
  Status done = connection.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
  if (done.ok()) done = connection.exec("COMMIT");
  if (!done.ok()) (void)connection.exec("ROLLBACK");
  return done;
}

}  // namespace

Result<int> Database::schemaVersionOf(const std::string& path) {
  auto connection = Connection::open(path);
  if (!connection.ok()) return connection.error();
  return readVersion(**connection);
}

Result<std::shared_ptr<Database>> Database::open(const std::string& path, OpenMode mode) {
  if (Status folder = makeDirectories(parentDirectory(path)); !folder.ok()) return folder.error();
  auto connection = Connection::open(path);
  if (!connection.ok()) return connection.error();
  auto version = readVersion(**connection);
  if (!version.ok()) return version.error();
  if (*version > kSchemaVersion) {
    return storeError(1002, "The store " + path +
                                " was made by a newer version of Mirelune and cannot be opened.");
  }
  if (*version == 0) {
    auto tables = (*connection)->scalar("SELECT count(*) FROM sqlite_master");
    if (!tables.ok()) return tables.error();
    if (integerOf(*tables).value_or(0) != 0) {
      return storeError(1003, path + " is not a Mirelune store.");
    }
  } else if (*version < kSchemaVersion && mode == OpenMode::AsIs) {
    return storeError(1001, "The store " + path +
                                " was made by an older version of Mirelune "
                                "and must be upgraded.");
  }
  if (*version < kSchemaVersion) {
    if (*version > 0)
      log::info("Upgrading the store from version {} to {}", *version, kSchemaVersion);
    if (Status migrated = migrate(**connection, *version); !migrated.ok()) return migrated.error();
  }
  std::shared_ptr<Database> database(new Database(path));
  database->giveBack(std::move(*connection));
  return database;
}

std::shared_ptr<Context> Database::newContext() {
  return std::shared_ptr<Context>(new Context(shared_from_this()));
}

std::shared_ptr<Context> Database::mainContext() {
  std::lock_guard guard(mainMutex_);
  auto context = mainContext_.lock();
  if (!context) {
    context = std::shared_ptr<Context>(new Context(shared_from_this()));
    mainContext_ = context;
  }
  return context;
}

Result<std::unique_ptr<Connection>> Database::takeConnection() {
  std::unique_ptr<Connection> connection;
  {
    std::lock_guard guard(mutex_);
    if (!idle_.empty()) {
      connection = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  if (!connection) {
    auto opened = Connection::open(path_);
    if (!opened.ok()) return opened.error();
    connection = std::move(*opened);
  }
  return connection;
}

int64_t Database::pageCount() {
  auto connection = takeConnection();
  if (!connection.ok()) return 0;
  auto pages = (*connection)->scalar("PRAGMA page_count");
  giveBack(std::move(*connection));
  return pages.ok() ? integerOf(*pages).value_or(0) : 0;
}

void Database::giveBack(std::unique_ptr<Connection> connection) {
  if (!connection) return;
  if (!connection->isAutocommit()) (void)connection->exec("ROLLBACK");
  std::lock_guard guard(mutex_);
  if (idle_.size() < kIdleConnections) idle_.push_back(std::move(connection));
}

}  // namespace mr
