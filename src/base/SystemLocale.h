// The listener's languages and region, read from the environment the way
// gettext reads it: LANGUAGE (a colon-separated list, ignored under the "C"
// locale), else LC_ALL, LC_MESSAGES, LANG.
#pragma once

#include <string>
#include <vector>

#include "base/Paths.h"

namespace mr {

// Two- or three-letter language codes in order of preference ("ja", "en"),
// without region; never empty ("en").
std::vector<std::string> preferredLanguages(const EnvironmentLookup& lookup = processEnvironment);
// The region of the current locale, upper-case ("JP"); "US" when unknown.
std::string currentRegionCode(const EnvironmentLookup& lookup = processEnvironment);

// "ja_JP.UTF-8" -> "ja", "pt_BR" -> "pt", "C" and "POSIX" -> "en"; "" for
// an empty or malformed name.
std::string languageFromLocaleName(const std::string& name);
// "ja_JP.UTF-8" -> "JP"; "" when the name has no region.
std::string regionFromLocaleName(const std::string& name);

}  // namespace mr
