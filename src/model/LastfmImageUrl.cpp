#include "model/LastfmImageUrl.h"

#include <string_view>

namespace mr {

LastfmImageUrl::LastfmImageUrl(const Array& images) {
  for (const Value& image : images) {
    if (!image.isDictionary()) continue;
    const std::optional<std::string> size = image.stringForKey("size");
    if (!size) continue;
    std::string* field = nullptr;
    if (*size == "small") {
      field = &small;
    } else if (*size == "medium") {
      field = &medium;
    } else if (*size == "large") {
      field = &large;
    } else if (*size == "extralarge") {
      field = &extraLarge;
    } else if (*size == "mega") {
      field = &mega;
    }
    if (field == nullptr) continue;
    const std::optional<std::string> text = image.stringForKey("text");
    *field = text ? std::string(trimWhitespace(*text)) : std::string();
  }
}

}  // namespace mr
