// An image offered in several sizes, each a URL under its own member.
#pragma once

#include <optional>
#include <string>

#include "model/MRDocument.h"

namespace mr {

class MRImageDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<std::string> imageMega() const { return document_.stringForKey("imageMega"); }
  std::optional<std::string> imageExtraLarge() const {
    return document_.stringForKey("imageExtraLarge");
  }
  std::optional<std::string> imageLarge() const { return document_.stringForKey("imageLarge"); }
  std::optional<std::string> imageMedium() const { return document_.stringForKey("imageMedium"); }
  std::optional<std::string> imageSmall() const { return document_.stringForKey("imageSmall"); }
  std::optional<std::string> imageSquare() const { return document_.stringForKey("imageSquare"); }

  // The first size present, from mega down to square.
  std::optional<std::string> imageLargest() const;
};

}  // namespace mr
