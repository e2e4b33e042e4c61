// The configuration values: the services' addresses, keys and identifiers.
// They come from config.json beside the settings (or the file that
// MIRELUNE_CONFIG names); a missing key takes the public default.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/Error.h"
#include "base/Paths.h"
#include "base/Value.h"

namespace mr {

struct AppConfig {
  std::string ovloApiBaseUrl = "https://api.ovlo.net";
  std::string ovloWebBaseUrl = "https://www.ovlo.net";
  std::string mireluneServiceBaseUrl = "https://api.mirelune.net";
  std::string mireluneWebBaseUrl = "https://www.mirelune.net";
  std::string lastfmBaseUrl = "https://ws.audioscrobbler.com";
  std::string lastfmApiKey = "3f9c2a7e5b1d4086c7e2a9f41b6d8c05";
  std::string itunesSearchBaseUrl = "https://itunes.apple.com";
  std::string videoApiBaseUrl = "https://gdata.youtube.com";
  std::string videoWatchBaseUrl = "https://www.youtube.com";
  std::string consumerId = "net.mirelune.desktop";
  std::string facebookAppId = "1467283519348262";
  std::string affiliatePrefix = "https://www.mirelune.net/go/store?url=";
  std::string shoppingSearchUrl = "https://www.amazon.com/s?k=";
  std::string caFile;  // extra trusted certificates, PEM
  // "" follows the kernel's routes; "wired", "wifi", "cellular" or
  // "offline" fixes the network status the program acts on.
  std::string networkStatus;

  // Every key with a pointer to its field, in the order `config` prints them.
  static const std::vector<std::pair<const char*, std::string AppConfig::*>>& keys();

  // The file in effect: $MIRELUNE_CONFIG, else config.json in the config folder.
  static std::string filePath(const Paths& paths,
                              const EnvironmentLookup& lookup = processEnvironment);
  // Defaults when the file does not exist; an error when it exists but is
  // not a JSON object of strings, or names an unknown key.
  static Result<AppConfig> load(const std::string& path);
  static Result<AppConfig> fromValue(const Value& document);

  Value toValue() const;
  // Every remote service is served on this machine (the sandbox), so the
  // machine's own network status does not matter.
  bool servicesOnLoopback() const;
};

}  // namespace mr
