#include "base/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace mr {

std::optional<std::string> processEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

Paths Paths::fromEnvironment(const EnvironmentLookup& lookup) {
  Paths paths;
  if (auto home = lookup("HOME"); home && !home->empty()) {
    paths.home = *home;
  } else if (const passwd* entry = ::getpwuid(::getuid());
             entry != nullptr && entry->pw_dir != nullptr) {
    paths.home = entry->pw_dir;
  } else {
    paths.home = "/tmp";
  }
  // Relative values are invalid by the XDG rules and are ignored.
  const auto base = [&](const char* variable, const char* fallback) {
    auto value = lookup(variable);
    if (value && !value->empty() && value->front() == '/') return *value;
    return paths.home + fallback;
  };
  paths.configDir = base("XDG_CONFIG_HOME", "/.config") + "/mirelune";
  paths.dataDir = base("XDG_DATA_HOME", "/.local/share") + "/mirelune";
  paths.cacheDir = base("XDG_CACHE_HOME", "/.cache") + "/mirelune";
  return paths;
}

Paths Paths::under(const std::string& root) {
  Paths paths;
  paths.home = root + "/home";
  paths.configDir = root + "/config/mirelune";
  paths.dataDir = root + "/data/mirelune";
  paths.cacheDir = root + "/cache/mirelune";
  return paths;
}

}  // namespace mr
