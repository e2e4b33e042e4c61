#include "base/SystemLocale.h"

#include <algorithm>
#include <cctype>

namespace mr {

namespace {

// "ll_CC.codeset@modifier" without codeset and modifier.
std::string localeBase(const std::string& name) {
  return name.substr(0, name.find_first_of(".@"));
}

bool isCLocale(const std::string& base) {
  return base == "C" || base == "POSIX";
}

bool allLetters(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isalpha(c); });
}

// The locale gettext uses for messages: the first of these that is set.
std::string messagesLocale(const EnvironmentLookup& lookup) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (auto value = lookup(name); value && !value->empty()) return *value;
  }
  return "C";
}

}  // namespace

std::string languageFromLocaleName(const std::string& name) {
  const std::string base = localeBase(name);
  if (isCLocale(base)) return "en";
  std::string language = base.substr(0, base.find_first_of("_-"));
  if (!allLetters(language) || language.size() < 2 || language.size() > 3) return {};
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return language;
}

std::string regionFromLocaleName(const std::string& name) {
  const std::string base = localeBase(name);
  const size_t separator = base.find_first_of("_-");
  if (separator == std::string::npos) return {};
  std::string region = base.substr(separator + 1);
  if (!allLetters(region) && !(region.size() == 3 && std::all_of(region.begin(), region.end(),
                                                                   ::isdigit)))
    return {};
  std::transform(region.begin(), region.end(), region.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return region;
}

std::vector<std::string> preferredLanguages(const EnvironmentLookup& lookup) {
  std::vector<std::string> languages;
  const auto add = [&languages](const std::string& name) {
    const std::string code = languageFromLocaleName(name);
    if (!code.empty() && std::find(languages.begin(), languages.end(), code) == languages.end()) {
      languages.push_back(code);
    }
  };
  const std::string locale = messagesLocale(lookup);
  if (auto list = lookup("LANGUAGE"); list && !isCLocale(localeBase(locale))) {
    size_t start = 0;
    while (start < list->size()) {
      const size_t colon = std::min(list->find(':', start), list->size());
      if (colon > start) add(list->substr(start, colon - start));
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
    const std::string region = regionFromLocaleName(*value);
    if (!region.empty()) return region;
    break;  // the locale in effect has no region
  }
  return "US";
}

}  // namespace mr
