// Where the program keeps its state, after the XDG base directories, so a
// test or a second profile can redirect all of it through the environment.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace mr {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The process environment.
std::optional<std::string> processEnvironment(const std::string& name);

struct Paths {
  std::string home;       // the user's home folder
  std::string configDir;  // $XDG_CONFIG_HOME/mirelune: settings.json, config.json
  std::string dataDir;    // $XDG_DATA_HOME/mirelune: the store
  std::string cacheDir;   // $XDG_CACHE_HOME/mirelune: caches and upload files

  static Paths fromEnvironment(const EnvironmentLookup& lookup = processEnvironment);
  // All four under one folder (tests, the demo).
  static Paths under(const std::string& root);

  std::string settingsFile() const { return configDir + "/settings.json"; }
  std::string configFile() const { return configDir + "/config.json"; }
};

}  // namespace mr
