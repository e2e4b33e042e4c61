// The program's string table. Texts are looked up by the keys the screens
// and messages use; a key without a text yields the fallback.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mr {

std::string localizedString(std::string_view key, std::string_view fallback);
// The text, or the key itself when there is none.
std::string localizedString(std::string_view key);
// Adds or replaces texts (each layer brings the texts of its own messages).
void registerLocalizedStrings(const std::map<std::string, std::string>& texts);

// A text's places filled: "%@", "%d", "%i" and "%ld" take `arguments` in
// order; "%1$@", "%2$@" by position (for languages that name the artist
// first); "%%" is a percent sign.
std::string formatLocalized(const std::string& format, const std::vector<std::string>& arguments);

}  // namespace mr
