// The per-user settings domain: text keys to typed values (bool, integer,
// text, date, list, dictionary, data), kept in one JSON file (mode 0600: it
// holds access tokens).
//
// Several processes share the file (the window, `analyse`, `logout`...), so
// no process ever writes back what it merely remembers. A write takes an
// exclusive lock on "<file>.lock", reads the file again, changes only its
// own keys and replaces the file atomically. Reads notice a file another
// process replaced (its identity, size or times changed) and read it again.
// Safe for use from any thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/MutexProtected.h"
#include "base/Value.h"

namespace mr {

class Settings {
 public:
  // One key's new value; no value removes the key.
  struct Change {
    std::string key;
    std::optional<Value> value;
  };

  // Reads `path`. Content that does not parse is reported and kept aside
  // under a name of its own ("<path>.corrupt-<UTC time>", earlier ones
  // stay), and the settings start empty. A file that exists but cannot be
  // read stays where it is: the settings start empty and every write fails
  // until it can be read.
  explicit Settings(std::string path);
  // Settings that live only in memory (tests, tools).
  Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  std::optional<Value> objectForKey(const std::string& key) const;
  bool hasKey(const std::string& key) const;
  // Typed reads with a zero when absent or of another kind.
  bool boolForKey(const std::string& key) const;
  int64_t integerForKey(const std::string& key) const;

  // Every write goes to disk at once. A failed write changes nothing, here
  // or on disk, is logged and is returned.
  Status setObject(const std::string& key, Value value);
  Status setBool(const std::string& key, bool value) { return setObject(key, Value(value)); }
  Status setInteger(const std::string& key, int64_t value) { return setObject(key, Value(value)); }
  Status removeObjectForKey(const std::string& key);
  // Several keys at once: all of them are written, or none.
  Status update(std::vector<Change> changes);
  // Catches up with the file now; the reason it cannot be read, if so.
  Status synchronize();

  const std::string& path() const { return path_; }

 private:
  // What identifies one version of the file: a replacement has another
  // inode, and an edit in place moves the times.
  struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileStamp&) const = default;
  };
  // The file's content as last seen.
  struct Snapshot {
    std::shared_ptr<const Dictionary> values = std::make_shared<const Dictionary>();
    std::optional<FileStamp> stamp;  // none: there was no file
    // Bumped under the lock by every write; with the stamp, it tells a
    // writer whether the file can have changed since this snapshot.
    std::optional<uint64_t> generation;
    std::optional<Error> readError;   // the file is there but cannot be read
    std::optional<Error> parseError;  // its content does not parse
  };
  struct Disk;

  std::shared_ptr<const Dictionary> current() const;
  Status commit(std::vector<Change> changes);

  const std::string path_;  // empty: memory only
  // Refreshed by reads, hence mutable.
  mutable MutexProtected<Snapshot> snapshot_;
};

}  // namespace mr
