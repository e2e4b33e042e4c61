#include "model/MRImage.h"

#include <cstddef>
#include <cstdint>

namespace mr {

namespace {

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
};

uint32_t bigEndian32(const Bytes& data, size_t at) {
  return (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) |
         (uint32_t{data[at + 2]} << 8) | uint32_t{data[at + 3]};
}

uint32_t bigEndian16(const Bytes& data, size_t at) {
  return (uint32_t{data[at]} << 8) | uint32_t{data[at + 1]};
}

uint32_t littleEndian16(const Bytes& data, size_t at) {
  return uint32_t{data[at]} | (uint32_t{data[at + 1]} << 8);
}

bool startsWith(const Bytes& data, std::initializer_list<uint8_t> prefix) {
  if (data.size() < prefix.size()) return false;
  size_t i = 0;
  for (uint8_t byte : prefix) {
    if (data[i++] != byte) return false;
  }
  return true;
}

// The signature, then the first chunk, which must be IHDR: length, type,
// width, height.
std::optional<Size> pngSize(const Bytes& data) {
  if (!startsWith(data, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return std::nullopt;
  if (data.size() < 24) return std::nullopt;
  if (!(data[12] == 'I' && data[13] == 'H' && data[14] == 'D' && data[15] == 'R')) {
    return std::nullopt;
  }
  return Size{bigEndian32(data, 16), bigEndian32(data, 20)};
}

bool isStartOfFrame(uint8_t marker) {
  // C4 (Huffman tables), C8 (reserved) and CC (arithmetic conditioning)
  // share the range but are no frames.
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the marker segments up to the first start of frame, whose body is
// precision, height, width.
std::optional<Size> jpegSize(const Bytes& data) {
  if (!startsWith(data, {0xFF, 0xD8})) return std::nullopt;
  size_t at = 2;
  while (at < data.size()) {
    if (data[at] != 0xFF) return std::nullopt;
    while (at < data.size() && data[at] == 0xFF)
      ++at;  // fill bytes
    if (at >= data.size()) return std::nullopt;
    const uint8_t marker = data[at++];
    // Markers without a segment.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    // The scan or the end before any frame: no size to be had.
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;
    if (at + 2 > data.size()) return std::nullopt;
    const uint32_t length = bigEndian16(data, at);
    if (length < 2) return std::nullopt;
    if (isStartOfFrame(marker)) {
      if (length < 7 || at + 7 > data.size()) return std::nullopt;
      return Size{bigEndian16(data, at + 5), bigEndian16(data, at + 3)};
    }
    at += length;
  }
  return std::nullopt;
}

// "GIF87a" or "GIF89a", then the logical screen's width and height.
std::optional<Size> gifSize(const Bytes& data) {
  if (!startsWith(data, {'G', 'I', 'F', '8'})) return std::nullopt;
  if (data.size() < 10 || (data[4] != '7' && data[4] != '9') || data[5] != 'a') {
    return std::nullopt;
  }
  return Size{littleEndian16(data, 6), littleEndian16(data, 8)};
}

}  // namespace

std::optional<MRImage> MRImage::decode(const Bytes& data) {
  std::optional<Size> size;
  std::string format;
  if ((size = pngSize(data))) {
    format = "png";
  } else if ((size = jpegSize(data))) {
    format = "jpeg";
  } else if ((size = gifSize(data))) {
    format = "gif";
  } else {
    return std::nullopt;
  }
  // PNG allows up to 2^31-1; anything beyond int is no image we can show.
  constexpr uint32_t kLargest = 0x7FFFFFFF;
  if (size->width == 0 || size->height == 0 || size->width > kLargest || size->height > kLargest) {
    return std::nullopt;
  }
  return MRImage{data, std::move(format), static_cast<int>(size->width),
                 static_cast<int>(size->height)};
}

}  // namespace mr
