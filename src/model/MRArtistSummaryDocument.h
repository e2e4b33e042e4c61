// The short form of an artist that other documents embed (a fan's artist, a
// badge's artist, similar artists).
#pragma once

#include <optional>
#include <string>

#include "model/MRDocument.h"

namespace mr {

class MRArtistSummaryDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::string waid() const { return document_.stringForKey("waid", ""); }
  std::string name() const { return document_.stringForKey("name", ""); }
  std::string url() const { return document_.stringForKey("url", ""); }

  std::optional<std::string> imageMega() const { return document_.stringForKey("imageMega"); }
  std::optional<std::string> imageExtraLarge() const {
    return document_.stringForKey("imageExtraLarge");
  }
  std::optional<std::string> imageLarge() const { return document_.stringForKey("imageLarge"); }
  std::optional<std::string> imageMedium() const { return document_.stringForKey("imageMedium"); }
  std::optional<std::string> imageSquare() const { return document_.stringForKey("imageSquare"); }
  // Virtual because a full artist document has no small image and falls back
  // to the square one instead, also when it is handled as a summary.
  virtual std::optional<std::string> imageSmall() const {
    return document_.stringForKey("imageSmall");
  }
  // The first size present, from mega down to small (the square image is not
  // considered).
  virtual std::optional<std::string> imageLargest() const;
};

}  // namespace mr
