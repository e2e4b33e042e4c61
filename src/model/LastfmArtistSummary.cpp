#include "model/LastfmArtistSummary.h"

namespace mr {

LastfmArtistSummary::LastfmArtistSummary(const Value& element)
    : name(element.stringForTextKey("name", "")), url(element.stringForTextKey("url", "")) {
  imageUrl = LastfmImageUrl(element.membersForKeyPath("image"));
}

Value LastfmArtistSummary::asDictionary() const {
  return Value(Dictionary{
      {"name", Value(name)},
      {"url", Value(url)},
      {"imageMega", Value(imageUrl.mega)},
      {"imageExtraLarge", Value(imageUrl.extraLarge)},
      {"imageLarge", Value(imageUrl.large)},
      {"imageMedium", Value(imageUrl.medium)},
      {"imageSmall", Value(imageUrl.small)},
  });
}

}  // namespace mr
