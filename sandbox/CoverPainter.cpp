#include "sandbox/CoverPainter.h"

#include <vector>

#include "sandbox/PngWriter.h"

namespace mr::sandbox {

std::string CoverPainter::paint(uint64_t subject, int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return {};
  uint64_t hash = (subject + 1) * 0x9E3779B97F4A7C15ULL;
  hash ^= hash >> 29;
  const uint8_t from[3] = {static_cast<uint8_t>(hash), static_cast<uint8_t>(hash >> 8),
                           static_cast<uint8_t>(hash >> 16)};
  const uint8_t to[3] = {static_cast<uint8_t>(hash >> 24), static_cast<uint8_t>(hash >> 32),
                         static_cast<uint8_t>(hash >> 40)};
  const auto w = static_cast<size_t>(width);
  const auto h = static_cast<size_t>(height);
  std::vector<uint8_t> rgba(w * h * 4);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      const double t = (static_cast<double>(x) / w + static_cast<double>(y) / h) / 2;
      uint8_t* pixel = &rgba[(y * w + x) * 4];
      for (int c = 0; c < 3; ++c)
        pixel[c] = static_cast<uint8_t>(from[c] + (to[c] - from[c]) * t);
      pixel[3] = 255;
    }
  }
  return PngWriter::encodeRgba(static_cast<uint32_t>(width), static_cast<uint32_t>(height), rgba);
}

}  // namespace mr::sandbox
