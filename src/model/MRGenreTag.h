// A genre tag with its weight in a listener's or the recommendations' taste
// (1.0 for the most common tag, the others relative to it).
#pragma once

#include <string>

namespace mr {

struct MRGenreTag {
  std::string name;
  float weight = 0;

  static MRGenreTag genreTagWithName(std::string name, float weight) {
    return {std::move(name), weight};
  }

  bool operator==(const MRGenreTag&) const = default;
};

}  // namespace mr
