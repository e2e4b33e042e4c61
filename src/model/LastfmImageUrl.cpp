#include "model/LastfmImageUrl.h"

#include <string_view>

namespace mr {

LastfmImageUrl::LastfmImageUrl(const Array& images) {
  std::vector<const Value*> members;
  for (const Value& image : images)
    members.push_back(&image);
  *this = LastfmImageUrl(members);
}

LastfmImageUrl::LastfmImageUrl(const std::vector<const Value*>& images) {
  for (const Value* member : images) {
    const Value& image = *member;
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
