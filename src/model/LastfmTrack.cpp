#include "model/LastfmTrack.h"

namespace mr {

LastfmTrack::LastfmTrack(const Value& element)
    : name(element.stringForTextKey("name", "")),
      mbid(element.stringForTextKey("mbid", "")),
      url(element.stringForTextKey("url", "")),
      match(element.floatForTextKey("match", 0)),
      streamable(element.boolForTextKey("streamable", false)) {
  if (const Value* artist = element.get("artist"); artist != nullptr && artist->isDictionary()) {
    artistName = artist->stringForTextKey("name", "");
    artistMbid = artist->stringForTextKey("mbid", "");
    artistUrl = artist->stringForTextKey("url", "");
  }
  if (const auto images = element.membersForKeyPath("image"); !images.empty())
    imageUrl = LastfmImageUrl(images);
}

}  // namespace mr
