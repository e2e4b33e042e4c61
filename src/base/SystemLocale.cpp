#include "base/SystemLocale.h"

#include <algorithm>
#include <cctype>

namespace mr {

std::string bcp47FromLocaleName(const std::string& name) {
  std::string base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return {};
  std::replace(base.begin(), base.end(), '_', '-');
  const size_t dash = base.find('-');
  std::string language = base.substr(0, dash);
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (language.empty() || !std::all_of(language.begin(), language.end(), ::isalpha)) return {};
  if (dash == std::string::npos) return language;
  std::string region = base.substr(dash + 1);
  std::transform(region.begin(), region.end(), region.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return region.empty() ? language : language + "-" + region;
}

std::vector<std::string> preferredLanguages(const EnvironmentLookup& lookup) {
  std::vector<std::string> languages;
  const auto add = [&languages](const std::string& name) {
    const std::string code = bcp47FromLocaleName(name);
    if (!code.empty() && std::find(languages.begin(), languages.end(), code) == languages.end()) {
      languages.push_back(code);
    }
  };
  // LANGUAGE is a colon-separated list, honoured only with a real locale set.
  const auto locale = [&lookup]() -> std::string {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      if (auto value = lookup(name); value && !value->empty()) return *value;
    }
    return {};
  }();
  if (auto list = lookup("LANGUAGE"); list && !bcp47FromLocaleName(locale).empty()) {
    size_t start = 0;
    while (start <= list->size()) {
      const size_t colon = std::min(list->find(':', start), list->size());
      add(list->substr(start, colon - start));
      start = colon + 1;
    }
  }
  add(locale);
  if (languages.empty()) languages.emplace_back("en");
  return languages;
}

std::string currentRegionCode(const EnvironmentLookup& lookup) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const auto value = lookup(name);
    if (!value || value->empty()) continue;
    const std::string code = bcp47FromLocaleName(*value);
    const size_t dash = code.find('-');
    if (dash != std::string::npos) return code.substr(dash + 1);
    if (!code.empty()) break;
  }
  return "US";
}

}  // namespace mr
