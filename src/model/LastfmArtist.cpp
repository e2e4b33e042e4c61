#include "model/LastfmArtist.h"

#include <utility>

namespace mr {

LastfmArtist::LastfmArtist(const Value& element)
    : name(element.stringForTextKey("name", "")),
      url(element.stringForTextKey("url", "")),
      streamable(element.boolForTextKey("streamable", false)) {
  imageUrl = LastfmImageUrl(element.membersForKeyPath("image"));

  for (const Value* artist : element.membersForKeyPath("similar/artist"))
    similar.emplace_back(*artist);
  for (const Value* entry : element.membersForKeyPath("tags/tag")) {
    if (auto tagName = entry->stringForTextKey("name")) tag.push_back(std::move(*tagName));
  }

  if (const Value* bio = element.get("bio"); bio != nullptr && bio->isDictionary()) {
    bioSummary = bio->stringForTextKey("summary", "");
    bioContent = bio->stringForTextKey("content", "");
  }
}

}  // namespace mr
