// A minimal PNG encoder: 8-bit RGBA, no interlacing, every row unfiltered,
// one zlib-compressed IDAT chunk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mr::sandbox {

class PngWriter {
 public:
  // The PNG file of a width x height image whose pixels are given row by
  // row, four bytes each; empty when the sizes do not match the pixels or
  // compression fails.
  static std::string encodeRgba(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba);
};

}  // namespace mr::sandbox
