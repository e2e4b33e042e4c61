#include "service/ovloConnectionList.h"

#include <algorithm>

#include "base/Env.h"
#include "base/Json.h"

namespace mr {

ovloConnectionItem ovloConnectionItem::connectionItemWithDictionary(const Value& dictionary) {
  ovloConnectionItem item;
  item.service = dictionary.stringForKey("service", "");
  item.name = dictionary.stringForKey("name", "");
  item.aid = dictionary.intForKey("aid", 0);
  item.cid = dictionary.intForKey("cid", 0);
  if (const Value* exclusive = dictionary.get("exclusive");
      exclusive != nullptr && exclusive->isDictionary()) {
    item.exclusive = *exclusive;
  }
  return item;
}

Value ovloConnectionItem::toDictionary() const {
  Value dictionary = Value::dictionary();
  dictionary.set("service", Value(service));
  dictionary.set("name", Value(name));
  dictionary.set("aid", Value(aid));
  dictionary.set("cid", Value(cid));
  if (exclusive) dictionary.set("exclusive", *exclusive);
  return dictionary;
}

namespace {
SharedInstance<ovloConnectionList>& slot() {
  static SharedInstance<ovloConnectionList> instance;
  return instance;
}
}  // namespace

ovloConnectionList::ovloConnectionList(Settings& settings) : settings_(settings) {
  load();
}

std::shared_ptr<ovloConnectionList> ovloConnectionList::sharedConnectionList() {
  return slot().get(
      [] { return std::make_shared<ovloConnectionList>(Env::defaultEnv().settings()); });
}

void ovloConnectionList::setSharedConnectionList(std::shared_ptr<ovloConnectionList> list) {
  slot().replace(std::move(list));
}

std::vector<ovloConnectionItem> ovloConnectionList::items() const {
  std::lock_guard guard(mutex_);
  return items_;
}

void ovloConnectionList::setItemsWithArray(const Value& array) {
  std::lock_guard guard(mutex_);
  items_.clear();
  if (const Array* members = array.asArray()) {
    for (const auto& member : *members)
      items_.push_back(ovloConnectionItem::connectionItemWithDictionary(member));
  }
}

void ovloConnectionList::upsertWithItem(const ovloConnectionItem& item) {
  std::lock_guard guard(mutex_);
  auto existing = std::find_if(items_.begin(), items_.end(),
                               [&item](const auto& member) { return member.cid == item.cid; });
  if (existing != items_.end()) items_.erase(existing);
  items_.push_back(item);
}

void ovloConnectionList::removeItemWithCid(int64_t cid) {
  std::lock_guard guard(mutex_);
  auto existing = std::find_if(items_.begin(), items_.end(),
                               [cid](const auto& member) { return member.cid == cid; });
  if (existing != items_.end()) items_.erase(existing);
}

std::optional<ovloConnectionItem> ovloConnectionList::itemWithCid(int64_t cid) const {
  std::lock_guard guard(mutex_);
  for (const auto& item : items_) {
    if (item.cid == cid) return item;
  }
  return std::nullopt;
}

std::vector<ovloConnectionItem> ovloConnectionList::itemsOfService(
    const std::string& service) const {
  return itemsOfServiceWithArray({service});
}

std::vector<ovloConnectionItem> ovloConnectionList::itemsOfServiceWithArray(
    const std::vector<std::string>& services) const {
  std::lock_guard guard(mutex_);
  std::vector<ovloConnectionItem> found;
  for (const auto& item : items_) {
    if (std::find(services.begin(), services.end(), item.service) != services.end())
      found.push_back(item);
  }
  return found;
}

void ovloConnectionList::clearItems() {
  std::lock_guard guard(mutex_);
  items_.clear();
}

void ovloConnectionList::save() {
  Array archived;
  {
    std::lock_guard guard(mutex_);
    for (const auto& item : items_)
      archived.push_back(item.toDictionary());
  }
  (void)settings_.setObject(kSettingsKey, Value(archiveValue(Value(std::move(archived)))));
}

void ovloConnectionList::load() {
  const auto stored = settings_.objectForKey(kSettingsKey);
  if (!stored) return;
  std::vector<ovloConnectionItem> loaded;
  if (const Bytes* blob = stored->asData()) {
    if (auto value = unarchiveValue(*blob); value.ok() && value->isArray()) {
      for (const auto& member : *value->asArray()) {
        loaded.push_back(ovloConnectionItem::connectionItemWithDictionary(member));
      }
    }
  }
  std::lock_guard guard(mutex_);
  items_ = std::move(loaded);
}

}  // namespace mr
