// The first bytes of small images, enough for their headers to be read.
#pragma once

#include <cstdint>

#include "base/Value.h"

namespace mr::test {

inline Bytes pngHeader(uint32_t width, uint32_t height) {
  Bytes data{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      data.push_back(static_cast<uint8_t>(value >> shift));
  }
  // Bit depth, colour type, compression, filter, interlace, CRC.
  data.insert(data.end(), {8, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});
  return data;
}

// A JFIF application segment, padding, then a baseline frame and the scan.
inline Bytes jpegHeader(uint16_t width, uint16_t height) {
  Bytes data{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  data.insert(data.end(), {0xFF, 0xFF, 0xC0, 0x00, 0x11, 0x08});
  data.insert(data.end(), {static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                           static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width)});
  data.insert(data.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
  data.insert(data.end(), {0xFF, 0xDA, 0x00, 0x02});
  return data;
}

inline Bytes gifHeader(uint16_t width, uint16_t height) {
  Bytes data{'G', 'I', 'F', '8', '9', 'a'};
  data.insert(data.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                           static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)});
  data.insert(data.end(), {0xF7, 0, 0});
  return data;
}

}  // namespace mr::test
