// The item hash: the identity of a track or an artist across the store, the
// library table, the mixes and the favorite cache. 32 lower-case hex digits
// of the MD5 of the parts, each lower-cased by full Unicode case mapping
// (the same in every locale) with only U+0020 spaces removed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mr {

class CDUtility {
 public:
  static std::string itemHashWithTitle(std::string_view title, std::string_view artist);
  // The album goes last, although it is the middle argument.
  static std::string itemHashWithTitle(std::string_view title, std::string_view album,
                                       std::string_view artist);
  static std::string artistItemHashWithArtist(std::string_view artist);

  // One part as it enters the hash: lower-cased, spaces removed.
  static std::string normalize(std::string_view text);
  // Full Unicode lower case, the same in every locale.
  static std::string lowercase(std::string_view text);
};

}  // namespace mr
