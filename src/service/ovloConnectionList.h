// The account's linked social-service connections (Facebook, Twitter): the
// process-wide list, kept in the settings between runs.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "base/Value.h"

namespace mr {

struct ovloConnectionItem {
  std::string service;  // "facebook", "twitter"
  std::string name;     // the listener's name there
  int64_t aid = 0;
  int64_t cid = 0;                 // the connection's identity
  std::optional<Value> exclusive;  // kept as it came, never read

  static ovloConnectionItem connectionItemWithDictionary(const Value& dictionary);
  Value toDictionary() const;
  bool operator==(const ovloConnectionItem&) const = default;
};

class ovloConnectionList {
 public:
  static constexpr const char* kSettingsKey = "ovlo_connection_items";

  // Starts from the saved list.
  explicit ovloConnectionList(Settings& settings);
  // The list of the default surroundings.
  static std::shared_ptr<ovloConnectionList> sharedConnectionList();
  static void setSharedConnectionList(std::shared_ptr<ovloConnectionList> list);

  std::vector<ovloConnectionItem> items() const;
  // Replaces the items with one per element; a non-array empties the list.
  void setItemsWithArray(const Value& array);
  // Drops the item with the same cid and appends the new one.
  void upsertWithItem(const ovloConnectionItem& item);
  void removeItemWithCid(int64_t cid);
  std::optional<ovloConnectionItem> itemWithCid(int64_t cid) const;
  std::vector<ovloConnectionItem> itemsOfService(const std::string& service) const;
  std::vector<ovloConnectionItem> itemsOfServiceWithArray(
      const std::vector<std::string>& services) const;
  void clearItems();
  void save();
  // A missing key leaves the list as it is; an unreadable one empties it.
  void load();

 private:
  Settings& settings_;
  mutable std::mutex mutex_;
  std::vector<ovloConnectionItem> items_;
};

}  // namespace mr
