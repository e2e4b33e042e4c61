// A stored record: one row of an entity's table, seen through a context.
// Attribute values are loaded with the record; setters write through to the
// context's transaction at once, so the context's own fetches see them.
// Relationships are read from the store on each call, so both sides always
// agree.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/Connection.h"
#include "store/Schema.h"

namespace mr {

class Context;

class Record : public std::enable_shared_from_this<Record> {
 public:
  Record(const EntityInfo& entity, std::weak_ptr<Context> context, int64_t id, SqlRow values);
  virtual ~Record() = default;
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  const EntityInfo& entity() const { return *entity_; }
  // The row id: the record's identity within the store.
  int64_t objectID() const { return id_; }
  bool isDeleted() const { return deleted_; }
  std::shared_ptr<Context> context() const { return context_.lock(); }

 protected:
  std::optional<std::string> text(int column) const { return textOf(values_[column]); }
  std::optional<int64_t> integer(int column) const { return integerOf(values_[column]); }
  std::optional<double> real(int column) const { return realOf(values_[column]); }
  std::optional<bool> boolean(int column) const { return boolOf(values_[column]); }
  std::optional<Date> date(int column) const { return dateOf(values_[column]); }
  std::optional<Bytes> blob(int column) const { return blobOf(values_[column]); }
  // Stores the value and writes it through.
  void set(int column, SqlValue value);

  // The record a to-one column points at.
  template <class R>
  std::shared_ptr<R> toOne(int column) const;
  void setToOne(int column, const Record* target);
  // The same for a one-to-one relationship: any other record of this entity
  // that pointed at `target` lets go of it.
  void setToOneExclusive(int column, const Record* target);

  // The records of R whose column `inverse` points here.
  template <class R>
  std::vector<std::shared_ptr<R>> toMany(const char* inverse) const;
  template <class R>
  std::shared_ptr<R> toOneInverse(const char* inverse) const;
  // Makes exactly `members` point here through R's column `inverse`.
  void setToMany(const EntityInfo& other, const char* inverse,
                 const std::vector<const Record*>& members);
  void addToMany(const EntityInfo& other, const char* inverse, const Record& member);
  void removeFromMany(const EntityInfo& other, const char* inverse, const Record& member);

 private:
  friend class Context;

  const EntityInfo* entity_;
  std::weak_ptr<Context> context_;
  int64_t id_;
  SqlRow values_;  // one per column of the entity, in order
  bool deleted_ = false;
};

// The records of a list, for the to-many setters.
template <class T>
std::vector<const Record*> recordPointers(const std::vector<std::shared_ptr<T>>& records) {
  std::vector<const Record*> pointers;
  pointers.reserve(records.size());
  for (const auto& record : records)
    pointers.push_back(record.get());
  return pointers;
}

}  // namespace mr
