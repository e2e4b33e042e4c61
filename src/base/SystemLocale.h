// The listener's languages and region, read from the environment the way a
// desktop session sets them (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
#pragma once

#include <string>
#include <vector>

#include "base/Paths.h"

namespace mr {

// BCP-47 codes in order of preference ("ja", "en-US"); never empty ("en").
std::vector<std::string> preferredLanguages(const EnvironmentLookup& lookup = processEnvironment);
// The region of the current locale, upper-case ("JP"); "US" when unknown.
std::string currentRegionCode(const EnvironmentLookup& lookup = processEnvironment);
// "en_US.UTF-8@euro" -> "en-US"; "" for "C", "POSIX" and empty values.
std::string bcp47FromLocaleName(const std::string& name);

}  // namespace mr
