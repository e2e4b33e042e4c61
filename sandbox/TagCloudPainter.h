// Draws a listener's genre tags as a picture in one of the named outlines.
// The picture is a sketch, not typography: one bar per tag, the heaviest
// tags first and tallest, each coloured after its name, clipped to the
// outline; the picture grows with the number of tags.
#pragma once

#include <string>
#include <vector>

namespace mr::sandbox {

struct TagCloudTag {
  std::string name;
  double weight = 0;
};

class TagCloudPainter {
 public:
  // "star", "drop", "diamond", "heart", "fire", "thunder", "note", "apple".
  static const std::vector<std::string>& shapes();
  static bool isKnownShape(const std::string& shape);
  // Side of the square picture for that many tags.
  static unsigned sideForTagCount(size_t count);

  // The PNG picture; empty for an unknown shape.
  static std::string paint(const std::vector<TagCloudTag>& tags, const std::string& shape);
};

}  // namespace mr::sandbox
