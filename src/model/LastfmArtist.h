// An artist from Last.fm's artist.getInfo, artist.search and
// artist.getSimilar answers.
#pragma once

#include <string>
#include <vector>

#include "base/Value.h"
#include "model/LastfmArtistSummary.h"
#include "model/LastfmImageUrl.h"

namespace mr {

struct LastfmArtist {
  std::string name;
  // Never read from an answer: artists are looked up by name.
  std::string mbid;
  std::string url;
  std::string bioSummary;
  std::string bioContent;
  LastfmImageUrl imageUrl;
  bool streamable = false;
  std::vector<LastfmArtistSummary> similar;
  // Tag names, in the answer's order.
  std::vector<std::string> tag;

  LastfmArtist() = default;
  // From an <artist> element's dictionary. A lone image, similar artist or
  // tag counts as a list of one.
  explicit LastfmArtist(const Value& element);

  bool operator==(const LastfmArtist&) const = default;
};

}  // namespace mr
