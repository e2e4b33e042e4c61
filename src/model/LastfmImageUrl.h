// The sizes of one Last.fm image, read from the list of <image size="...">
// elements of an artist or track answer.
#pragma once

#include <string>

#include "base/Value.h"

namespace mr {

struct LastfmImageUrl {
  std::string small;
  std::string medium;
  std::string large;
  std::string extraLarge;
  std::string mega;

  LastfmImageUrl() = default;
  // Every size starts empty; each <image> dictionary fills the size its
  // "size" attribute names ("small", "medium", "large", "extralarge",
  // "mega") with its trimmed text. Other sizes and members are ignored.
  explicit LastfmImageUrl(const std::vector<const Value*>& images);
  explicit LastfmImageUrl(const Array& images);

  // The mega image. As no size is ever unset, a list without a mega image
  // gives "" here rather than a smaller size.
  const std::string& largest() const { return mega; }

  bool operator==(const LastfmImageUrl&) const = default;
};

}  // namespace mr
