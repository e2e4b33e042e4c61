#include "store/Context.h"

#include "base/Log.h"
#include "store/Database.h"

namespace mr {

Context::Context(std::shared_ptr<Database> database) : database_(std::move(database)) {
  auto connection = database_->takeConnection();
  if (connection.ok()) {
    connection_ = std::move(*connection);
  } else {
    noteFailure(connection.error(), "open");
  }
}

Context::~Context() {
  if (!connection_) return;
  if (!connection_->isAutocommit()) (void)connection_->exec("ROLLBACK");
  database_->giveBack(std::move(connection_));
}

void Context::noteFailure(const Error& error, const char* what) {
  lastError_ = error;
  log::warning("Store context: {} failed: {}", what, error.toString());
}

bool Context::ready() {
  if (!connection_) return false;
  if (mustReplay_) (void)replay();
  return true;
}

Status Context::replay() {
  if (!connection_->isAutocommit()) (void)connection_->exec("ROLLBACK");
  inTransaction_ = false;
  if (Status begun = connection_->exec("BEGIN IMMEDIATE"); !begun.ok()) {
    noteFailure(begun.error(), "begin");
    return begun;
  }
  inTransaction_ = true;
  for (const auto& step : journal_) {
    Status status = step(*connection_);
    if (!status.ok()) {
      (void)connection_->exec("ROLLBACK");
      inTransaction_ = false;
      noteFailure(status.error(), "replay");
      return status;
    }
  }
  mustReplay_ = false;
  return {};
}

Status Context::write(std::function<Status(Connection&)> step) {
  if (!connection_) return Error(kStoreErrorDomain, 1000, "the store is not open");
  journal_.push_back(std::move(step));
  if (mustReplay_) return replay();  // runs the new step too
  if (!inTransaction_) {
    if (Status begun = connection_->exec("BEGIN IMMEDIATE"); !begun.ok()) {
      mustReplay_ = true;
      noteFailure(begun.error(), "begin");
      return begun;
    }
    inTransaction_ = true;
  }
  Status status = journal_.back()(*connection_);
  if (!status.ok()) {
    // The transaction may hold half of this step: undo it all, keep the
    // journal, and build the whole again on the next write or save.
    (void)connection_->exec("ROLLBACK");
    inTransaction_ = false;
    mustReplay_ = true;
    noteFailure(status.error(), "write");
  }
  return status;
}

namespace {
int failCommit(void*) {
  return 1;
}
}  // namespace

void Context::failNextCommitForTesting() {
  failNextCommit_ = true;
}

Status Context::save() {
  if (!connection_) {
    lastError_ = Error(kStoreErrorDomain, 1000, "the store is not open");
    return *lastError_;
  }
  if (!hasChanges()) return {};
  if (mustReplay_) {
    if (Status replayed = replay(); !replayed.ok()) return replayed;
  }
  if (failNextCommit_) {
    failNextCommit_ = false;
    sqlite3_commit_hook(connection_->handle(), failCommit, nullptr);
  }
  Status committed = connection_->exec("COMMIT");
  sqlite3_commit_hook(connection_->handle(), nullptr, nullptr);
  if (committed.ok()) {
    journal_.clear();
    inTransaction_ = false;
    lastError_.reset();
    return {};
  }
  if (connection_->isAutocommit()) {  // the engine rolled the transaction back
    inTransaction_ = false;
    mustReplay_ = true;
  }
  noteFailure(committed.error(), "save");
  return committed;
}

void Context::rollback() {
  if (connection_ && !connection_->isAutocommit()) (void)connection_->exec("ROLLBACK");
  journal_.clear();
  inTransaction_ = false;
  mustReplay_ = false;
  objects_.clear();  // later fetches make fresh records from the store
}

std::vector<SqlRow> Context::select(const EntityInfo& entity, std::string_view where,
                                    const std::vector<SqlValue>& parameters,
                                    std::string_view orderBy, std::optional<int64_t> limit,
                                    int64_t offset) {
  if (!ready()) return {};
  std::string sql = "SELECT " + entity.selectList + " FROM " + entity.quotedName;
  if (!where.empty()) sql += " WHERE " + std::string(where);
  if (!orderBy.empty()) sql += " ORDER BY " + std::string(orderBy);
  if (limit || offset > 0) sql += " LIMIT " + std::to_string(limit.value_or(-1));
  if (offset > 0) sql += " OFFSET " + std::to_string(offset);
  auto rows = connection_->query(sql, parameters);
  if (!rows.ok()) {
    log::warning("Store fetch failed: {}", rows.error().toString());
    return {};
  }
  return std::move(*rows);
}

std::vector<SqlRow> Context::query(const std::string& sql,
                                   const std::vector<SqlValue>& parameters) {
  if (!ready()) return {};
  auto rows = connection_->query(sql, parameters);
  if (!rows.ok()) {
    log::warning("Store query failed: {}", rows.error().toString());
    return {};
  }
  return std::move(*rows);
}

int64_t Context::count(const EntityInfo& entity, std::string_view where,
                       const std::vector<SqlValue>& parameters) {
  std::string sql = "SELECT count(*) FROM " + entity.quotedName;
  if (!where.empty()) sql += " WHERE " + std::string(where);
  const auto rows = query(sql, parameters);
  return rows.empty() ? 0 : integerOf(rows[0][0]).value_or(0);
}

std::shared_ptr<Record> Context::adopt(
    const EntityInfo& entity, int64_t id, SqlRow values,
    const std::function<std::shared_ptr<Record>(int64_t, SqlRow)>& make) {
  auto& slot = objects_[{&entity, id}];
  if (auto existing = slot.lock()) {
    existing->values_ = std::move(values);  // the row is never older than the object
    return existing;
  }
  auto record = make(id, std::move(values));
  slot = record;
  if (objects_.size() >= sweepAt_) {
    std::erase_if(objects_, [](const auto& entry) { return entry.second.expired(); });
    sweepAt_ = std::max<size_t>(1024, objects_.size() * 2);
  }
  return record;
}

void Context::rekey(Record& record, int64_t newId) {
  if (record.id_ != 0) objects_.erase({record.entity_, record.id_});
  record.id_ = newId;
  objects_[{record.entity_, newId}] = record.weak_from_this();
}

std::shared_ptr<Record> Context::insertRecord(
    const EntityInfo& entity, SqlRow values,
    const std::function<std::shared_ptr<Record>(int64_t, SqlRow)>& make) {
  if (!connection_) return nullptr;
  if (values.size() != entity.columns.size()) values.assign(entity.columns.size(), SqlValue());
  std::shared_ptr<Record> record = make(0, values);
  const std::string& sql = entity.insertSql;
  // On replay the row may get another id; later steps read it from the record.
  (void)write([this, record, values = std::move(values), &sql](Connection& c) {
    Status status = c.run(sql, values);
    if (status.ok()) rekey(*record, c.lastInsertRowid());
    return status;
  });
  return record;
}

void Context::deleteObject(Record& record) {
  if (record.deleted_) return;
  record.deleted_ = true;
  objects_.erase({record.entity_, record.id_});
  auto kept = record.shared_from_this();
  const std::string sql = "DELETE FROM " + record.entity_->quotedName + " WHERE \"id\" = ?";
  (void)write([kept, sql](Connection& c) { return c.run(sql, {SqlValue(kept->id_)}); });
}

}  // namespace mr
