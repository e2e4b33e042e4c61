// A track in the listener's favourites, with the time it was added.
#pragma once

#include "model/MRTrackDocument.h"

namespace mr {

class MRFavoriteTrackDocument : public MRTrackDocument {
 public:
  using MRTrackDocument::MRTrackDocument;

  // Read as a 64-bit count of seconds; the epoch when the member is missing.
  Date favoritedAt() const {
    return Date::fromSecondsSince1970(
        static_cast<double>(document_.integerForKey("favoritedAt", 0)));
  }
};

}  // namespace mr
