#include "model/MRImageDocument.h"

namespace mr {

std::optional<std::string> MRImageDocument::imageLargest() const {
  for (const char* key :
       {"imageMega", "imageExtraLarge", "imageLarge", "imageMedium", "imageSmall", "imageSquare"}) {
    if (auto url = document_.stringForKey(key)) return url;
  }
  return std::nullopt;
}

}  // namespace mr
