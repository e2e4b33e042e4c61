#include "base/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"

namespace mr {
namespace {

std::string utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  ::gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

// Whether anything changed: a write that changes nothing is not made.
bool applyChanges(Dictionary& values, std::vector<Settings::Change>& changes) {
  bool changed = false;
  for (auto& change : changes) {
    if (!change.value) {
      changed = values.erase(change.key) || changed;
    } else if (const Value* old = values.find(change.key);
               old == nullptr || !(*old == *change.value)) {
      values.set(change.key, std::move(*change.value));
      changed = true;
    }
  }
  return changed;
}

// The lock file holds the number of writes made under it, as decimal text.
std::optional<uint64_t> readGeneration(int fd) {
  char text[24];
  const ssize_t got = ::pread(fd, text, sizeof text, 0);
  if (got < 0) return std::nullopt;
  if (got == 0) return 0;
  uint64_t generation = 0;
  const auto [end, problem] = std::from_chars(text, text + got, generation);
  if (problem != std::errc() || end != text + got) return std::nullopt;
  return generation;
}

// Without taking the lock: none yet is generation 0.
std::optional<uint64_t> readGenerationAt(const std::string& lockPath) {
  UniqueFd fd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.valid()) return errno == ENOENT ? std::optional<uint64_t>(0) : std::nullopt;
  return readGeneration(fd.get());
}

bool writeGeneration(int fd, uint64_t generation) {
  const std::string text = std::to_string(generation);
  return ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
         ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

}  // namespace

struct Settings::Disk {
  static FileStamp stampOf(const struct stat& info) {
    return FileStamp{info.st_dev, info.st_ino, info.st_size,
                     info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                     info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
  }

  // The file's identity now; none when there is no file.
  static Result<std::optional<FileStamp>> stamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return std::optional<FileStamp>(stampOf(info));
    if (errno == ENOENT) return std::optional<FileStamp>();
    return posixError(errno, "cannot look at " + path);
  }

  // The file as it is now. Never blocks on something that is not a file.
  static Snapshot read(const std::string& path) {
    Snapshot found;
    // Read before the file: a writer bumps it after replacing the file, so
    // the content is at least as new as the number, and a writer that
    // finds the number unchanged can trust this copy without reading again.
    found.generation = readGenerationAt(path + ".lock");
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
      const int err = errno;
      if (err == ENOENT) return found;
      if (auto now = stamp(path); now.ok()) found.stamp = *now;
      found.readError = posixError(err, "cannot open " + path);
      return found;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
      found.readError = posixError(errno, "cannot look at " + path);
      return found;
    }
    found.stamp = stampOf(info);
    if (!S_ISREG(info.st_mode)) {
      found.readError = Error(kPosixErrorDomain, EINVAL, path + " is not a regular file");
      return found;
    }
    std::string text;
    char buffer[1 << 16];
    for (;;) {
      const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR) continue;
        found.readError = posixError(errno, "cannot read " + path);
        return found;
      }
      if (got == 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    Result<Value> document = parseJson(text, true);
    if (document.ok() && document->isDictionary()) {
      found.values = std::make_shared<const Dictionary>(std::move(*document->asDictionary()));
    } else {
      found.parseError = document.ok()
                             ? Error(kParseErrorDomain, 0, "the top level is not an object")
                             : document.error();
    }
    return found;
  }

  // Moves content that did not parse out of the way, under a name no
  // earlier one has, so that every such file is kept. The caller holds the
  // write lock, so no other process is choosing a name at the same time.
  static Result<std::string> setAside(const std::string& path) {
    const std::string base = path + ".corrupt-" + utcTimestamp();
    for (int number = 1; number <= 1000; ++number) {
      const std::string aside = number == 1 ? base : base + "-" + std::to_string(number);
      struct stat info {};
      if (::lstat(aside.c_str(), &info) == 0) continue;
      if (::rename(path.c_str(), aside.c_str()) != 0)
        return posixError(errno, "cannot move " + path + " aside");
      return aside;
    }
    return Error(kPosixErrorDomain, EEXIST, "no free name to move " + path + " aside");
  }
};

Settings::Settings() = default;

Settings::Settings(std::string path) : path_(std::move(path)) {
  Snapshot first = Disk::read(path_);
  if (first.readError) {
    log::error(
        "Settings file {} cannot be read ({}); it is left as it is, and settings will not "
        "be saved until it can be read",
        path_, first.readError->toString());
  }
  if (first.parseError) {
    // Kept aside under the write lock: another process may be setting it
    // aside or replacing it right now.
    const std::string why = first.parseError->description();
    if (auto lock = lockFile(path_ + ".lock", true); lock.ok()) {
      first = Disk::read(path_);
      if (first.parseError) {
        if (auto aside = Disk::setAside(path_); aside.ok()) {
          log::error(
              "Settings file {} does not parse ({}); kept aside as {}, starting from empty "
              "settings",
              path_, why, *aside);
          first = Snapshot{};
        } else {
          log::error("Settings file {} does not parse ({}) and stays in place: {}", path_, why,
                     aside.error().toString());
        }
      }
    } else {
      log::error("Settings file {} does not parse ({}) and stays in place: {}", path_, why,
                 lock.error().toString());
    }
  }
  snapshot_.with([&](Snapshot& snapshot) { snapshot = std::move(first); });
}

std::shared_ptr<const Dictionary> Settings::current() const {
  if (path_.empty()) {
    return snapshot_.with([](const Snapshot& snapshot) { return snapshot.values; });
  }
  // Settings are read far more often than another process writes them: a
  // stat tells whether the file is still the one last read.
  return snapshot_.with([this](Snapshot& snapshot) {
    auto now = Disk::stamp(path_);
    if (now.ok() && *now == snapshot.stamp && !snapshot.readError) return snapshot.values;
    Snapshot fresh = Disk::read(path_);
    if (fresh.readError) {
      // Keep what was last read rather than forget the account.
      if (!snapshot.readError || !(*snapshot.readError == *fresh.readError)) {
        log::error("Settings file {} cannot be read: {}", path_, fresh.readError->toString());
      }
      snapshot.stamp = fresh.stamp;
      snapshot.readError = fresh.readError;
      snapshot.generation.reset();
      return snapshot.values;
    }
    if (fresh.parseError) {
      log::error("Settings file {} does not parse ({}); empty settings until it is replaced", path_,
                 fresh.parseError->description());
    }
    snapshot = std::move(fresh);
    return snapshot.values;
  });
}

std::optional<Value> Settings::objectForKey(const std::string& key) const {
  const auto values = current();
  const Value* value = values->find(key);
  if (value == nullptr) return std::nullopt;
  return *value;
}

bool Settings::hasKey(const std::string& key) const {
  return current()->contains(key);
}

bool Settings::boolForKey(const std::string& key) const {
  const auto values = current();
  const Value* value = values->find(key);
  if (value == nullptr) return false;
  if (auto number = value->numberAsDouble()) return *number != 0;
  if (const std::string* text = value->asString()) return stringBoolValue(*text);
  return false;
}

int64_t Settings::integerForKey(const std::string& key) const {
  const auto values = current();
  const Value* value = values->find(key);
  if (value == nullptr) return 0;
  if (const int64_t* integer = value->asInteger()) return *integer;
  if (auto number = value->numberAsDouble()) return static_cast<int64_t>(*number);
  if (const std::string* text = value->asString()) return stringIntegerValue(*text);
  return 0;
}

Status Settings::setObject(const std::string& key, Value value) {
  std::vector<Change> changes;
  changes.push_back(Change{key, std::move(value)});
  return commit(std::move(changes));
}

Status Settings::removeObjectForKey(const std::string& key) {
  std::vector<Change> changes;
  changes.push_back(Change{key, std::nullopt});
  return commit(std::move(changes));
}

Status Settings::update(std::vector<Change> changes) {
  return commit(std::move(changes));
}

Status Settings::synchronize() {
  (void)current();
  return snapshot_.with([](const Snapshot& snapshot) -> Status {
    if (snapshot.readError) return *snapshot.readError;
    return {};
  });
}

Status Settings::commit(std::vector<Change> changes) {
  if (path_.empty()) {
    snapshot_.with([&](Snapshot& snapshot) {
      auto values = std::make_shared<Dictionary>(*snapshot.values);
      if (applyChanges(*values, changes)) snapshot.values = std::move(values);
    });
    return {};
  }
  const auto failed = [](Status status) {
    log::error("Cannot save settings: {}", status.error().toString());
    return status;
  };
  if (Status made = makeDirectories(parentDirectory(path_)); !made.ok()) return failed(made);
  // One writer at a time across processes, from reading the file to
  // replacing it.
  auto lock = lockFile(path_ + ".lock", true);
  if (!lock.ok()) return failed(lock.error());
  const std::optional<uint64_t> generation = readGeneration(lock->get());

  return snapshot_.with([&](Snapshot& snapshot) -> Status {
    // Only what is on disk now counts. The copy in memory is that when no
    // write went through the lock since and the file is the same one.
    auto stampNow = Disk::stamp(path_);
    const bool unchanged = stampNow.ok() && *stampNow == snapshot.stamp && generation &&
                           snapshot.generation == generation && !snapshot.readError &&
                           !snapshot.parseError;
    Snapshot base = unchanged ? snapshot : Disk::read(path_);
    base.generation = generation;
    if (base.readError) {
      snapshot.stamp = base.stamp;
      snapshot.readError = base.readError;
      snapshot.generation.reset();
      return failed(Error(kPosixErrorDomain, base.readError->code(),
                          "the settings file cannot be read, so it is not replaced: " +
                              base.readError->description()));
    }
    if (base.parseError) {
      auto aside = Disk::setAside(path_);
      if (!aside.ok()) return failed(aside.error());
      log::error("Settings file {} does not parse ({}); kept aside as {}", path_,
                 base.parseError->description(), *aside);
      base = Snapshot{};
      base.generation = generation;
    }

    auto merged = std::make_shared<Dictionary>(*base.values);
    if (!applyChanges(*merged, changes)) {
      snapshot = std::move(base);
      return {};
    }
    std::string text = toJson(Value(*merged), JsonOptions{true, true});
    text += '\n';
    if (Status written = writeFileAtomically(path_, text, 0600); !written.ok()) {
      snapshot = std::move(base);  // what the file still holds
      return failed(written);
    }
    Snapshot saved;
    saved.values = std::move(merged);
    if (auto stampAfter = Disk::stamp(path_); stampAfter.ok()) saved.stamp = *stampAfter;
    const uint64_t next = generation.value_or(0) + 1;
    if (writeGeneration(lock->get(), next)) saved.generation = next;
    snapshot = std::move(saved);
    return {};
  });
}

}  // namespace mr
