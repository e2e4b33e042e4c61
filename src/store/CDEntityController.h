// The base of the entity controllers: a context to work in (a new one of
// its own, or one shared with the other controllers of a task), the generic
// queries, and save.
//
// A controller over a store that failed to open has no context: its fetches
// find nothing and its inserts give nullptr.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/Context.h"
#include "store/Database.h"

namespace mr {

class CDEntityController {
 public:
  // A new context of its own (nothing when there is no store).
  explicit CDEntityController(Database* store);
  // Works in the given context, shared with other controllers of one task.
  explicit CDEntityController(std::shared_ptr<Context> context);
  virtual ~CDEntityController() = default;

  const std::shared_ptr<Context>& context() const { return context_; }
  // Commits the context's changes; nothing to save is success. The error
  // also stays in lastError() until the next successful save.
  Status save();
  const std::optional<Error>& lastError() const { return lastError_; }

  int64_t countAllItems() const;

 protected:
  virtual const EntityInfo& entity() const = 0;
  std::optional<Error> lastError_;
  std::shared_ptr<Context> context_;
};

// The generic queries typed by the record class.
template <class R>
class CDTypedEntityController : public CDEntityController {
 public:
  using CDEntityController::CDEntityController;

  std::shared_ptr<R> insertNewObject() { return context_ ? context_->insert<R>() : nullptr; }
  // All records, in store order.
  std::vector<std::shared_ptr<R>> findAll() const {
    return context_ ? context_->fetch<R>() : std::vector<std::shared_ptr<R>>{};
  }
  // Deletes every record from the context; the caller saves.
  void deleteAllObjects() {
    for (const auto& record : findAll())
      context_->deleteObject(*record);
  }
  std::shared_ptr<R> findOne(int64_t objectID) const {
    return context_ ? context_->object<R>(objectID) : nullptr;
  }
  void deleteObject(R& record) {
    if (context_) context_->deleteObject(record);
  }
  // Up to `count` distinct random records (all of them when there are no
  // more), in random order.
  std::vector<std::shared_ptr<R>> findRandomlyForCount(size_t count) const {
    if (!context_) return {};
    return context_->fetch<R>({}, {}, "random()", static_cast<int64_t>(count));
  }

 protected:
  const EntityInfo& entity() const override { return R::entityInfo(); }
  std::shared_ptr<R> findOneWhere(std::string_view where, const std::vector<SqlValue>& parameters,
                                  std::string_view orderBy = {}) const {
    return context_ ? context_->fetchOne<R>(where, parameters, orderBy) : nullptr;
  }
  std::vector<std::shared_ptr<R>> findWhere(std::string_view where,
                                            std::vector<SqlValue> parameters,
                                            std::string_view orderBy = {},
                                            std::optional<int64_t> limit = std::nullopt,
                                            int64_t offset = 0) const {
    if (!context_) return {};
    return context_->fetch<R>(where, parameters, orderBy, limit, offset);
  }
  int64_t countWhere(std::string_view where, const std::vector<SqlValue>& parameters) const {
    return context_ ? context_->count(R::entityInfo(), where, parameters) : 0;
  }
};

}  // namespace mr
