#include "model/MRArtistDocument.h"

namespace mr {

std::optional<std::string> MRArtistDocument::imageLargest() const {
  for (const char* key :
       {"imageMega", "imageExtraLarge", "imageLarge", "imageMedium", "imageSquare"}) {
    if (auto url = document_.stringForKey(key)) return url;
  }
  return std::nullopt;
}

std::vector<std::string> MRArtistDocument::tags() const {
  std::vector<std::string> names;
  if (const Array* members = document_.arrayForKey("tags")) {
    for (const Value& member : *members) {
      if (const std::string* name = member.asString()) names.push_back(*name);
    }
  }
  return names;
}

}  // namespace mr
