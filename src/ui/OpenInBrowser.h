// Hands an address to the desktop's default browser. When the environment
// variable MIRELUNE_OPEN_URL_LOG names a file, the address is appended to it
// as a line instead and nothing is launched (the tests read it there).
#pragma once

#include <string>

#include "base/Error.h"

namespace mr {

Status openInBrowser(const std::string& url);

}  // namespace mr
