// A working copy of the store for one controller or task, over a SQLite
// connection of its own.
//
// The first change opens a write transaction; the context's fetches run on
// its connection, so they see its own unsaved inserts, changes and deletes
// as well as everything already saved. save() commits: all or nothing on
// disk. Every change is also kept in a journal until it is committed, so a
// change or a commit that fails loses nothing: the next write or save
// replays the journal in a fresh transaction.
//
// A context is used from one thread at a time. Keep write transactions
// short: save before waiting for anything, or other writers wait.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Connection.h"
#include "store/Record.h"
#include "store/Schema.h"

namespace mr {

class Database;

class Context : public std::enable_shared_from_this<Context> {
 public:
  // Rolls back what was not saved.
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  bool hasChanges() const { return inTransaction_ || mustReplay_; }
  // Commits the changes. On failure the changes stay (to be written by a
  // later save) and the error is returned and kept in lastError(). A change
  // that can never be written (a constraint it breaks) is dropped instead,
  // the rest is committed, and the save reports the dropped change.
  Status save();
  // Drops the unsaved changes.
  void rollback();
  const std::optional<Error>& lastError() const { return lastError_; }

  // ---- Queries. `where` and `orderBy` are SQL over the entity's quoted
  // column names, with "?" for the parameters. Errors are logged and give
  // an empty result.
  template <class R>
  std::vector<std::shared_ptr<R>> fetch(std::string_view where = {},
                                        const std::vector<SqlValue>& parameters = {},
                                        std::string_view orderBy = {},
                                        std::optional<int64_t> limit = std::nullopt,
                                        int64_t offset = 0);
  template <class R>
  std::shared_ptr<R> fetchOne(std::string_view where, const std::vector<SqlValue>& parameters,
                              std::string_view orderBy = {});
  // The record with that row id, or nullptr.
  template <class R>
  std::shared_ptr<R> object(int64_t id);
  int64_t count(const EntityInfo& entity, std::string_view where = {},
                const std::vector<SqlValue>& parameters = {});
  // Rows of any read-only statement (aggregates).
  std::vector<SqlRow> query(const std::string& sql, const std::vector<SqlValue>& parameters = {});

  // ---- Changes.
  // A new record; `values` gives every column in order, or none for NULLs.
  template <class R>
  std::shared_ptr<R> insert(SqlRow values = {});
  void deleteObject(Record& record);

  // Opens the write transaction now, so that lookups made before the first
  // change already hold the store's write lock: a find-or-insert between
  // two contexts then inserts once.
  Status beginWriting();

  // A change step: runs now inside the write transaction and again on
  // replay. It must read row ids from records when it runs, not before.
  Status write(std::function<Status(Connection&)> step);

  // Makes the next commit fail after the fact (the engine rolls it back),
  // for tests of what a failed save keeps.
  void failNextCommitForTesting();

 private:
  friend class Database;
  explicit Context(std::shared_ptr<Database> database);

  bool ready();  // a connection, and the journal replayed if needed
  Status replay();
  void dropStep(size_t index, const Error& error);
  Status takeDropped();
  void applyPageLimit();
  void noteFailure(const Error& error, const char* what);
  std::shared_ptr<Record> adopt(
      const EntityInfo& entity, int64_t id, SqlRow values,
      const std::function<std::shared_ptr<Record>(int64_t, SqlRow)>& make);
  void rekey(Record& record, int64_t newId);
  std::vector<SqlRow> select(const EntityInfo& entity, std::string_view where,
                             const std::vector<SqlValue>& parameters, std::string_view orderBy,
                             std::optional<int64_t> limit, int64_t offset);
  std::shared_ptr<Record> insertRecord(
      const EntityInfo& entity, SqlRow values,
      const std::function<std::shared_ptr<Record>(int64_t, SqlRow)>& make);

  std::shared_ptr<Database> database_;
  std::unique_ptr<Connection> connection_;
  bool inTransaction_ = false;
  bool mustReplay_ = false;
  bool failNextCommit_ = false;
  std::vector<std::function<Status(Connection&)>> journal_;
  std::optional<Error> lastError_;
  std::optional<Error> dropped_;  // the first change dropped since the last save
  int droppedCount_ = 0;
  int64_t appliedPageLimit_ = 0;
  // One object per row, while anyone holds it.
  std::map<std::pair<const EntityInfo*, int64_t>, std::weak_ptr<Record>> objects_;
  size_t sweepAt_ = 1024;
};

// ------------------------------------------------------------ templates

template <class R>
std::vector<std::shared_ptr<R>> Context::fetch(std::string_view where,
                                               const std::vector<SqlValue>& parameters,
                                               std::string_view orderBy,
                                               std::optional<int64_t> limit, int64_t offset) {
  const EntityInfo& entity = R::entityInfo();
  std::vector<std::shared_ptr<R>> records;
  auto self = weak_from_this();
  for (auto& row : select(entity, where, parameters, orderBy, limit, offset)) {
    const int64_t id = integerOf(row[0]).value_or(0);
    row.erase(row.begin());
    records.push_back(std::static_pointer_cast<R>(
        adopt(entity, id, std::move(row), [&self](int64_t rowId, SqlRow values) {
          return std::make_shared<R>(self, rowId, std::move(values));
        })));
  }
  return records;
}

template <class R>
std::shared_ptr<R> Context::fetchOne(std::string_view where,
                                     const std::vector<SqlValue>& parameters,
                                     std::string_view orderBy) {
  auto records = fetch<R>(where, parameters, orderBy, 1);
  return records.empty() ? nullptr : records.front();
}

template <class R>
std::shared_ptr<R> Context::object(int64_t id) {
  return fetchOne<R>("\"id\" = ?", {SqlValue(id)});
}

template <class R>
std::shared_ptr<R> Context::insert(SqlRow values) {
  auto self = weak_from_this();
  return std::static_pointer_cast<R>(
      insertRecord(R::entityInfo(), std::move(values), [&self](int64_t rowId, SqlRow row) {
        return std::make_shared<R>(self, rowId, std::move(row));
      }));
}

template <class R>
std::shared_ptr<R> Record::toOne(int column) const {
  auto owner = context();
  if (!owner || deleted_) return nullptr;
  const auto rows = owner->query("SELECT " + quoted(entity_->columns[column].name) + " FROM " +
                                     entity_->quotedName + " WHERE \"id\" = ?",
                                 {SqlValue(id_)});
  if (rows.empty()) return nullptr;
  const auto target = integerOf(rows[0][0]);
  return target ? owner->object<R>(*target) : nullptr;
}

template <class R>
std::vector<std::shared_ptr<R>> Record::toMany(const char* inverse) const {
  auto owner = context();
  if (!owner || deleted_) return {};
  return owner->fetch<R>(quoted(inverse) + " = ?", {SqlValue(id_)});
}

template <class R>
std::shared_ptr<R> Record::toOneInverse(const char* inverse) const {
  auto owner = context();
  if (!owner || deleted_) return nullptr;
  return owner->fetchOne<R>(quoted(inverse) + " = ?", {SqlValue(id_)});
}

}  // namespace mr
