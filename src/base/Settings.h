// The per-user settings domain: text keys to typed values (bool, integer,
// text, date, list, dictionary, data), kept in one JSON file that is
// replaced atomically on every write (mode 0600: it holds access tokens).
// Safe for use from any thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "base/Error.h"
#include "base/Value.h"

namespace mr {

class Settings {
 public:
  // Reads `path`. A file that cannot be parsed is reported once, kept aside
  // as "<path>.corrupt", and the settings start empty.
  explicit Settings(std::string path);
  // Settings that live only in memory (tests, tools).
  Settings();

  std::optional<Value> objectForKey(const std::string& key) const;
  bool hasKey(const std::string& key) const;
  // Typed reads with a zero when absent or of another kind.
  bool boolForKey(const std::string& key) const;
  int64_t integerForKey(const std::string& key) const;

  // Every write goes to disk at once; a failed write keeps the value in
  // memory, is logged, and is returned.
  Status setObject(const std::string& key, Value value);
  Status setBool(const std::string& key, bool value) { return setObject(key, Value(value)); }
  Status setInteger(const std::string& key, int64_t value) { return setObject(key, Value(value)); }
  Status removeObjectForKey(const std::string& key);
  // Writes the domain now.
  Status synchronize();

  const std::string& path() const { return path_; }

 private:
  Status writeLocked();

  const std::string path_;  // empty: memory only
  mutable std::mutex mutex_;
  std::mutex writeMutex_;
  Dictionary values_;
};

}  // namespace mr
