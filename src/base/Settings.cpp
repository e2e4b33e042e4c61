#include "base/Settings.h"

#include <cstdio>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"

namespace mr {

Settings::Settings() = default;

Settings::Settings(std::string path) : path_(std::move(path)) {
  if (!fileExists(path_)) return;
  auto text = readFileToString(path_);
  Result<Value> document = text.ok() ? parseJson(*text, true) : Result<Value>(text.error());
  if (document.ok() && document->isDictionary()) {
    values_ = std::move(*document->asDictionary());
    return;
  }
  const std::string why = document.ok() ? std::string("the top level is not an object")
                                        : document.error().description();
  const std::string aside = path_ + ".corrupt";
  log::error("Settings file {} is unreadable ({}); kept aside as {}, starting from empty settings",
             path_, why, aside);
  std::rename(path_.c_str(), aside.c_str());
}

std::optional<Value> Settings::objectForKey(const std::string& key) const {
  std::lock_guard guard(mutex_);
  const Value* value = values_.find(key);
  if (value == nullptr) return std::nullopt;
  return *value;
}

bool Settings::hasKey(const std::string& key) const {
  std::lock_guard guard(mutex_);
  return values_.contains(key);
}

bool Settings::boolForKey(const std::string& key) const {
  std::lock_guard guard(mutex_);
  const Value* value = values_.find(key);
  if (value == nullptr) return false;
  if (auto number = value->numberAsDouble()) return *number != 0;
  if (const std::string* text = value->asString()) return stringBoolValue(*text);
  return false;
}

int64_t Settings::integerForKey(const std::string& key) const {
  std::lock_guard guard(mutex_);
  const Value* value = values_.find(key);
  if (value == nullptr) return 0;
  if (const int64_t* integer = value->asInteger()) return *integer;
  if (auto number = value->numberAsDouble()) return static_cast<int64_t>(*number);
  if (const std::string* text = value->asString()) return stringIntegerValue(*text);
  return 0;
}

Status Settings::setObject(const std::string& key, Value value) {
  {
    std::lock_guard guard(mutex_);
    values_.set(key, std::move(value));
  }
  return synchronize();
}

Status Settings::removeObjectForKey(const std::string& key) {
  {
    std::lock_guard guard(mutex_);
    if (!values_.erase(key)) return {};
  }
  return synchronize();
}

Status Settings::synchronize() {
  if (path_.empty()) return {};
  // One writer at a time, each writing the state as it is when it starts, so
  // the file never goes back to an older state.
  std::lock_guard writing(writeMutex_);
  return writeLocked();
}

Status Settings::writeLocked() {
  std::string text;
  {
    std::lock_guard guard(mutex_);
    text = toJson(Value(values_), JsonOptions{true, true});
  }
  text += '\n';
  Status status = makeDirectories(parentDirectory(path_));
  if (status.ok()) status = writeFileAtomically(path_, text, 0600);
  if (!status.ok()) log::error("Cannot save settings: {}", status.error().toString());
  return status;
}

}  // namespace mr
