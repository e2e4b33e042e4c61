#include "model/LastfmArtist.h"

#include <utility>

namespace mr {

LastfmArtist::LastfmArtist(const Value& element)
    : name(element.stringForTextKey("name", "")),
      url(element.stringForTextKey("url", "")),
      streamable(element.boolForTextKey("streamable", false)) {
  if (const Array* images = element.arrayForKey("image")) imageUrl = LastfmImageUrl(*images);

  if (const Array* artists = element.arrayForKeyPath("similar/artist")) {
    for (const Value& artist : *artists) {
      if (artist.isDictionary()) similar.emplace_back(artist);
    }
  }

  if (const Array* tags = element.arrayForKeyPath("tags/tag")) {
    for (const Value& entry : *tags) {
      if (auto tagName = entry.stringForTextKey("name")) tag.push_back(std::move(*tagName));
    }
  }

  if (const Value* bio = element.get("bio"); bio != nullptr && bio->isDictionary()) {
    bioSummary = bio->stringForTextKey("summary", "");
    bioContent = bio->stringForTextKey("content", "");
  }
}

}  // namespace mr
