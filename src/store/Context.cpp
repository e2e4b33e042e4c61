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

namespace {
// Failures of the change itself (a foreign key to a row another context
// deleted, a value of the wrong kind): no later attempt can succeed.
bool isUnwritableChange(const Error& error) {
  if (error.domain() != kStoreErrorDomain) return false;
  switch (error.code() & 0xff) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
      return true;
    default:
      return false;
  }
}
}  // namespace

void Context::dropStep(size_t index, const Error& error) {
  journal_.erase(journal_.begin() + static_cast<std::ptrdiff_t>(index));
  log::error("Store context: a change that can never be written was dropped: {}",
             error.toString());
  if (!dropped_) dropped_ = error;
  ++droppedCount_;
}

Status Context::replay() {
  for (;;) {
    if (!connection_->isAutocommit()) (void)connection_->exec("ROLLBACK");
    inTransaction_ = false;
    if (journal_.empty()) {
      mustReplay_ = false;
      return {};
    }
    if (Status begun = connection_->exec("BEGIN IMMEDIATE"); !begun.ok()) {
      noteFailure(begun.error(), "begin");
      return begun;
    }
    inTransaction_ = true;
    size_t failedAt = 0;
    Status failed;
    for (; failedAt < journal_.size(); ++failedAt) {
      failed = journal_[failedAt](*connection_);
      if (!failed.ok()) break;
    }
    if (failed.ok()) {
      mustReplay_ = false;
      return {};
    }
    (void)connection_->exec("ROLLBACK");
    inTransaction_ = false;
    noteFailure(failed.error(), "replay");
    if (!isUnwritableChange(failed.error())) return failed;
    // The rest of the journal is still good: build it again without it.
    dropStep(failedAt, failed.error());
  }
}

void Context::applyPageLimit() {
  const int64_t limit = database_->pageLimitForTesting();
  if (limit == appliedPageLimit_) return;
  appliedPageLimit_ = limit;
  (void)connection_->exec("PRAGMA max_page_count=" + std::to_string(limit));
}

Status Context::write(std::function<Status(Connection&)> step) {
  if (!connection_) return Error(kStoreErrorDomain, 1000, "the store is not open");
  applyPageLimit();
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
    noteFailure(status.error(), "write");
    if (isUnwritableChange(status.error())) dropStep(journal_.size() - 1, status.error());
    mustReplay_ = !journal_.empty();
  }
  return status;
}

Status Context::beginWriting() {
  if (inTransaction_ && !mustReplay_) return {};
  return write([](Connection&) { return Status(); });
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
  applyPageLimit();
  if (mustReplay_) {
    if (Status replayed = replay(); !replayed.ok()) return replayed;
  }
  if (!hasChanges()) return takeDropped();
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
    return takeDropped();
  }
  if (connection_->isAutocommit()) {  // the engine rolled the transaction back
    inTransaction_ = false;
    mustReplay_ = true;
  }
  noteFailure(committed.error(), "save");
  return committed;
}

Status Context::takeDropped() {
  if (!dropped_) return {};
  Error error(kStoreErrorDomain, dropped_->code(),
              std::to_string(droppedCount_) +
                  (droppedCount_ == 1 ? " change" : " changes") +
                  " could not be written and " + (droppedCount_ == 1 ? "was" : "were") +
                  " dropped; the rest is saved: " + dropped_->description());
  dropped_.reset();
  droppedCount_ = 0;
  lastError_ = error;
  return error;
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
  // Bound, so one statement serves every page size.
  std::vector<SqlValue> bound;
  const std::vector<SqlValue>* values = &parameters;
  if (limit || offset > 0) {
    sql += " LIMIT ? OFFSET ?";
    bound = parameters;
    bound.emplace_back(limit.value_or(-1));
    bound.emplace_back(offset);
    values = &bound;
  }
  auto rows = connection_->query(sql, *values);
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
  if (newId != 0) objects_[{record.entity_, newId}] = record.weak_from_this();
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
    // A row id from an undone attempt may belong to another row by now.
    rekey(*record, status.ok() ? c.lastInsertRowid() : 0);
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
