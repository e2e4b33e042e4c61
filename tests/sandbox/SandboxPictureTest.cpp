#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "sandbox/PngWriter.h"
#include "sandbox/TagCloudPainter.h"

namespace mr::sandbox {
namespace {

uint32_t bigEndian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

struct Chunk {
  std::string type;
  std::string data;
  bool crcHolds = false;
};

std::vector<Chunk> chunksOf(const std::string& png) {
  std::vector<Chunk> chunks;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = bigEndian(png, at);
    Chunk chunk{png.substr(at + 4, 4), png.substr(at + 8, length)};
    const std::string typed = png.substr(at + 4, 4 + length);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), typed.size());
    chunk.crcHolds = crc == bigEndian(png, at + 8 + length);
    chunks.push_back(chunk);
    at += 12 + length;
  }
  return chunks;
}

// The unfiltered rows of a picture this writer made: a filter byte, then RGBA.
std::string rowsOf(const std::vector<Chunk>& chunks, size_t size) {
  std::string rows(size, '\0');
  uLongf length = size;
  const std::string& data = chunks.at(1).data;
  if (uncompress(reinterpret_cast<Bytef*>(rows.data()), &length,
                 reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK) {
    return {};
  }
  rows.resize(length);
  return rows;
}

TEST(PngWriterTest, WritesHeaderDataAndEndWithValidChecksums) {
  const std::vector<uint8_t> pixels = {255, 0, 0, 255, 0, 0, 255, 128};  // red, half-clear blue
  const std::string png = PngWriter::encodeRgba(2, 1, pixels);
  ASSERT_TRUE(png.starts_with("\x89PNG\r\n\x1a\n"));
  const auto chunks = chunksOf(png);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  for (const auto& chunk : chunks)
    EXPECT_TRUE(chunk.crcHolds) << chunk.type;
  EXPECT_EQ(bigEndian(chunks[0].data, 0), 2u);
  EXPECT_EQ(bigEndian(chunks[0].data, 4), 1u);
  EXPECT_EQ(chunks[0].data.substr(8), std::string("\x08\x06\x00\x00\x00", 5));
  EXPECT_EQ(rowsOf(chunks, 9), std::string("\0\xFF\0\0\xFF\0\0\xFF\x80", 9));
}

TEST(PngWriterTest, RefusesPixelsThatDoNotMatchTheSize) {
  EXPECT_TRUE(PngWriter::encodeRgba(2, 2, std::vector<uint8_t>(15)).empty());
  EXPECT_TRUE(PngWriter::encodeRgba(0, 1, {}).empty());
}

TEST(TagCloudPainterTest, EveryShapeIsDrawnInsideItsOutline) {
  const std::vector<TagCloudTag> tags = {{"rock", 1.0}, {"ambient", 0.3}};
  const unsigned side = TagCloudPainter::sideForTagCount(tags.size());
  for (const std::string& shape : TagCloudPainter::shapes()) {
    const std::string png = TagCloudPainter::paint(tags, shape);
    ASSERT_FALSE(png.empty()) << shape;
    const std::string rows = rowsOf(chunksOf(png), size_t{side} * (side * 4 + 1));
    ASSERT_EQ(rows.size(), size_t{side} * (side * 4 + 1)) << shape;
    const auto alpha = [&](unsigned x, unsigned y) {
      return static_cast<uint8_t>(rows[y * (side * 4 + 1) + 1 + x * 4 + 3]);
    };
    EXPECT_EQ(alpha(0, 0), 0) << shape << ": the corner is outside every outline";
    size_t opaque = 0;
    for (unsigned y = 0; y < side; ++y) {
      for (unsigned x = 0; x < side; ++x)
        opaque += alpha(x, y) == 255;
    }
    EXPECT_GT(opaque, size_t{side} * side / 8) << shape;
    EXPECT_LT(opaque, size_t{side} * side) << shape;
  }
}

TEST(TagCloudPainterTest, KnowsItsShapesAndGrowsWithTheTags) {
  EXPECT_EQ(TagCloudPainter::shapes().size(), 8u);
  EXPECT_TRUE(TagCloudPainter::isKnownShape("thunder"));
  EXPECT_FALSE(TagCloudPainter::isKnownShape("Star"));
  EXPECT_TRUE(TagCloudPainter::paint({{"rock", 1}}, "circle").empty());
  EXPECT_LT(TagCloudPainter::sideForTagCount(1), TagCloudPainter::sideForTagCount(5));
  EXPECT_EQ(TagCloudPainter::sideForTagCount(100), TagCloudPainter::sideForTagCount(16));
  // No tags, odd weights: still a picture.
  EXPECT_FALSE(TagCloudPainter::paint({}, "note").empty());
  EXPECT_FALSE(TagCloudPainter::paint({{"a", -1}, {"b", 0}}, "drop").empty());
}

}  // namespace
}  // namespace mr::sandbox
