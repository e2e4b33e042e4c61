// A track from Last.fm's track.getInfo, track.getSimilar and
// artist.getTopTracks answers.
#pragma once

#include <optional>
#include <string>

#include "base/Value.h"
#include "model/LastfmImageUrl.h"

namespace mr {

struct LastfmTrack {
  std::string name;
  std::string mbid;
  std::string url;
  std::string artistName;
  std::string artistMbid;
  std::string artistUrl;
  // Similarity to the track asked about, 0 to 1, as the service gives it.
  float match = 0;
  bool streamable = false;
  // nullopt when the answer has no <image> at all.
  std::optional<LastfmImageUrl> imageUrl;

  LastfmTrack() = default;
  // From a <track> element's dictionary. The artist fields come from an
  // <artist> element with <name>, <mbid> and <url> children, and stay empty
  // when there is none.
  explicit LastfmTrack(const Value& element);

  bool operator==(const LastfmTrack&) const = default;
};

}  // namespace mr
