#include "sandbox/PngWriter.h"

#include <zlib.h>

namespace mr::sandbox {
namespace {

void appendBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void appendChunk(std::string& out, const char (&type)[5], const std::string& data) {
  appendBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  // The checksum covers the type and the data, not the length.
  const uLong crc =
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(typed.data()), typed.size());
  appendBigEndian(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::string PngWriter::encodeRgba(uint32_t width, uint32_t height,
                                  const std::vector<uint8_t>& rgba) {
  if (width == 0 || height == 0 || rgba.size() != size_t{width} * height * 4) return {};

  std::string header;
  appendBigEndian(header, width);
  appendBigEndian(header, height);
  header += std::string{8, 6, 0, 0, 0};  // depth 8, RGBA, deflate, no filter, no interlace

  // Each row starts with its filter type, 0 (none).
  std::string raw;
  raw.reserve(size_t{height} * (size_t{width} * 4 + 1));
  const size_t stride = size_t{width} * 4;
  for (uint32_t row = 0; row < height; ++row) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(rgba.data()) + row * stride, stride);
  }
  uLongf compressedSize = compressBound(raw.size());
  std::string compressed(compressedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedSize,
                reinterpret_cast<const Bytef*>(raw.data()), raw.size(),
                Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  compressed.resize(compressedSize);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", {});
  return png;
}

}  // namespace mr::sandbox
