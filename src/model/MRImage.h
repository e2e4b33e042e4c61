// An image as the service sends it: the encoded bytes, their format and the
// picture's size, read from the header. Nothing is decoded into pixels here;
// the views draw from `data`.
#pragma once

#include <optional>
#include <string>

#include "base/Value.h"

namespace mr {

struct MRImage {
  Bytes data;
  std::string format;  // "png", "jpeg" or "gif"
  int width = 0;
  int height = 0;

  // The image when the bytes start like a PNG (IHDR), a JPEG (a start of
  // frame before the scan) or a GIF (logical screen), with a size above
  // zero; nullopt for anything else, truncated headers included.
  static std::optional<MRImage> decode(const Bytes& data);

  bool operator==(const MRImage&) const = default;
};

}  // namespace mr
