#include "store/Record.h"

#include "store/Context.h"

namespace mr {

Record::Record(const EntityInfo& entity, std::weak_ptr<Context> context, int64_t id, SqlRow values)
    : entity_(&entity), context_(std::move(context)), id_(id), values_(std::move(values)) {
  values_.resize(entity.columns.size());
}

void Record::set(int column, SqlValue value) {
  values_[static_cast<size_t>(column)] = value;
  auto owner = context();
  if (!owner || deleted_) return;
  auto self = shared_from_this();
  const std::string& sql = entity_->updateSql[static_cast<size_t>(column)];
  (void)owner->write([self, &sql, value = std::move(value)](Connection& c) {
    return c.run(sql, {value, SqlValue(self->id_)});
  });
}

void Record::setToOne(int column, const Record* target) {
  std::shared_ptr<const Record> kept = target != nullptr ? target->shared_from_this() : nullptr;
  values_[static_cast<size_t>(column)] = kept ? SqlValue(kept->id_) : SqlValue();
  auto owner = context();
  if (!owner || deleted_) return;
  auto self = shared_from_this();
  const std::string& sql = entity_->updateSql[static_cast<size_t>(column)];
  (void)owner->write([self, kept, &sql](Connection& c) {
    return c.run(sql, {kept ? SqlValue(kept->id_) : SqlValue(), SqlValue(self->id_)});
  });
}

void Record::setToOneExclusive(int column, const Record* target) {
  if (target != nullptr) {
    auto owner = context();
    if (owner && !deleted_) {
      auto self = shared_from_this();
      auto kept = target->shared_from_this();
      const std::string& name = entity_->columns[static_cast<size_t>(column)].name;
      const std::string sql = "UPDATE " + entity_->quotedName + " SET " + quoted(name) +
                              " = NULL WHERE " + quoted(name) + " = ? AND \"id\" != ?";
      (void)owner->write([self, kept, sql](Connection& c) {
        return c.run(sql, {SqlValue(kept->id_), SqlValue(self->id_)});
      });
    }
  }
  setToOne(column, target);
}

void Record::setToMany(const EntityInfo& other, const char* inverse,
                       const std::vector<const Record*>& members) {
  auto owner = context();
  if (!owner || deleted_) return;
  auto self = shared_from_this();
  std::vector<std::shared_ptr<const Record>> kept;
  for (const Record* member : members)
    kept.push_back(member->shared_from_this());
  const std::string clear = "UPDATE " + other.quotedName + " SET " + quoted(inverse) +
                            " = NULL WHERE " + quoted(inverse) + " = ?";
  const std::string link =
      "UPDATE " + other.quotedName + " SET " + quoted(inverse) + " = ? WHERE \"id\" = ?";
  (void)owner->write([self, kept, clear, link](Connection& c) {
    Status status = c.run(clear, {SqlValue(self->id_)});
    for (const auto& member : kept) {
      if (!status.ok()) break;
      status = c.run(link, {SqlValue(self->id_), SqlValue(member->id_)});
    }
    return status;
  });
}

void Record::addToMany(const EntityInfo& other, const char* inverse, const Record& member) {
  auto owner = context();
  if (!owner || deleted_) return;
  auto self = shared_from_this();
  auto kept = member.shared_from_this();
  const std::string link =
      "UPDATE " + other.quotedName + " SET " + quoted(inverse) + " = ? WHERE \"id\" = ?";
  (void)owner->write([self, kept, link](Connection& c) {
    return c.run(link, {SqlValue(self->id_), SqlValue(kept->id_)});
  });
}

void Record::removeFromMany(const EntityInfo& other, const char* inverse, const Record& member) {
  auto owner = context();
  if (!owner || deleted_) return;
  auto self = shared_from_this();
  auto kept = member.shared_from_this();
  const std::string unlink = "UPDATE " + other.quotedName + " SET " + quoted(inverse) +
                             " = NULL WHERE \"id\" = ? AND " + quoted(inverse) + " = ?";
  (void)owner->write([self, kept, unlink](Connection& c) {
    return c.run(unlink, {SqlValue(kept->id_), SqlValue(self->id_)});
  });
}

}  // namespace mr
