// The program's string table. Texts are looked up by the keys the screens
// and messages use; a key without a text yields the fallback.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace mr {

std::string localizedString(std::string_view key, std::string_view fallback);
// The text, or the key itself when there is none.
std::string localizedString(std::string_view key);
// Adds or replaces texts (each layer brings the texts of its own messages).
void registerLocalizedStrings(const std::map<std::string, std::string>& texts);

}  // namespace mr
