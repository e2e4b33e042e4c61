#include "model/MRArtistSummaryDocument.h"

namespace mr {

std::optional<std::string> MRArtistSummaryDocument::imageLargest() const {
  for (const char* key :
       {"imageMega", "imageExtraLarge", "imageLarge", "imageMedium", "imageSmall"}) {
    if (auto url = document_.stringForKey(key)) return url;
  }
  return std::nullopt;
}

}  // namespace mr
