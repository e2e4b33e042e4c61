// Small file helpers with errors as values.
#pragma once

#include <string>
#include <string_view>

#include "base/Error.h"

namespace mr {

Result<std::string> readFileToString(const std::string& path);
// Writes a temporary file beside `path`, syncs it, renames it over `path`
// and syncs the folder: readers see the old or the new file, never a part.
Status writeFileAtomically(const std::string& path, std::string_view contents,
                           unsigned mode = 0600);
// Creates the folder and its parents (mode 0700 for the ones it makes).
Status makeDirectories(const std::string& path);
bool fileExists(const std::string& path);
std::string parentDirectory(const std::string& path);

}  // namespace mr
