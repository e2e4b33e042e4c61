// Stand-in pictures for artist photos, album covers and video thumbnails:
// a diagonal blend between two colours that follow from a number, so each
// subject keeps its own look at every size.
#pragma once

#include <cstdint>
#include <string>

namespace mr::sandbox {

class CoverPainter {
 public:
  static constexpr int kMaxSide = 1200;

  // The PNG picture; empty when a side is not between 1 and kMaxSide.
  static std::string paint(uint64_t subject, int width, int height);
};

}  // namespace mr::sandbox
