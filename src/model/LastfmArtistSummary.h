// An artist as Last.fm lists it inside other answers (similar artists).
#pragma once

#include <string>

#include "base/Value.h"
#include "model/LastfmImageUrl.h"

namespace mr {

struct LastfmArtistSummary {
  std::string name;
  std::string url;
  LastfmImageUrl imageUrl;

  LastfmArtistSummary() = default;
  // From an <artist> element's dictionary. A lone <image> is no list, so it
  // leaves every size empty.
  explicit LastfmArtistSummary(const Value& element);

  // "name", "url" and the image sizes as "imageMega", "imageExtraLarge",
  // "imageLarge", "imageMedium" and "imageSmall": the members of a stored
  // artist summary.
  Value asDictionary() const;

  bool operator==(const LastfmArtistSummary&) const = default;
};

}  // namespace mr
