#include "base/AppConfig.h"

#include <algorithm>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Url.h"

namespace mr {

const std::vector<std::pair<const char*, std::string AppConfig::*>>& AppConfig::keys() {
  static const std::vector<std::pair<const char*, std::string AppConfig::*>> table = {
      {"ovloApiBaseUrl", &AppConfig::ovloApiBaseUrl},
      {"ovloWebBaseUrl", &AppConfig::ovloWebBaseUrl},
      {"mireluneServiceBaseUrl", &AppConfig::mireluneServiceBaseUrl},
      {"mireluneWebBaseUrl", &AppConfig::mireluneWebBaseUrl},
      {"lastfmBaseUrl", &AppConfig::lastfmBaseUrl},
      {"lastfmApiKey", &AppConfig::lastfmApiKey},
      {"itunesSearchBaseUrl", &AppConfig::itunesSearchBaseUrl},
      {"videoApiBaseUrl", &AppConfig::videoApiBaseUrl},
      {"videoWatchBaseUrl", &AppConfig::videoWatchBaseUrl},
      {"consumerId", &AppConfig::consumerId},
      {"facebookAppId", &AppConfig::facebookAppId},
      {"affiliatePrefix", &AppConfig::affiliatePrefix},
      {"shoppingSearchUrl", &AppConfig::shoppingSearchUrl},
      {"caFile", &AppConfig::caFile},
      {"networkStatus", &AppConfig::networkStatus},
  };
  return table;
}

std::string AppConfig::filePath(const Paths& paths, const EnvironmentLookup& lookup) {
  if (auto named = lookup("MIRELUNE_CONFIG"); named && !named->empty()) return *named;
  return paths.configFile();
}

Result<AppConfig> AppConfig::load(const std::string& path) {
  if (!fileExists(path)) return AppConfig{};
  auto text = readFileToString(path);
  if (!text.ok()) return text.error();
  auto document = parseJson(*text);
  if (!document.ok()) {
    return Error(kParseErrorDomain, 10, path + ": " + document.error().description());
  }
  auto config = fromValue(*document);
  if (!config.ok()) return Error(kParseErrorDomain, 10, path + ": " + config.error().description());
  return config;
}

Result<AppConfig> AppConfig::fromValue(const Value& document) {
  const Dictionary* entries = document.asDictionary();
  if (entries == nullptr)
    return Error(kParseErrorDomain, 10, "the configuration is not a JSON object");
  AppConfig config;
  for (const auto& [key, value] : *entries) {
    const auto& table = keys();
    auto found = std::find_if(table.begin(), table.end(),
                              [&key](const auto& entry) { return key == entry.first; });
    if (found == table.end()) return Error(kParseErrorDomain, 10, "unknown key \"" + key + "\"");
    if (!value.isString()) return Error(kParseErrorDomain, 10, "\"" + key + "\" must be a string");
    const std::string& text = *value.asString();
    if (key.ends_with("BaseUrl")) {
      const auto url = Url::parse(text);
      if (!url || (url->scheme != "http" && url->scheme != "https") || url->host.empty()) {
        return Error(kParseErrorDomain, 10, "\"" + key + "\" is not an http(s) address: " + text);
      }
    }
    if (key == "networkStatus" && text != "" && text != "wired" && text != "wifi" &&
        text != "cellular" && text != "offline") {
      return Error(
          kParseErrorDomain, 10,
          "\"networkStatus\" must be \"\", \"wired\", \"wifi\", \"cellular\" or \"offline\": " +
              text);
    }
    config.*(found->second) = text;
  }
  return config;
}

bool AppConfig::servicesOnLoopback() const {
  for (const std::string* base : {&ovloApiBaseUrl, &mireluneServiceBaseUrl, &lastfmBaseUrl,
                                  &itunesSearchBaseUrl, &videoApiBaseUrl, &videoWatchBaseUrl}) {
    const auto url = Url::parse(*base);
    if (!url || (url->host != "127.0.0.1" && url->host != "localhost" && url->host != "::1" &&
                 url->host != "[::1]"))
      return false;
  }
  return true;
}

Value AppConfig::toValue() const {
  Value document = Value::dictionary();
  for (const auto& [key, field] : keys())
    document.set(key, Value(this->*field));
  return document;
}

}  // namespace mr
