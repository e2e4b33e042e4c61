#include "model/MRImage.h"

#include <gtest/gtest.h>

#include "service/ImageSamples.h"

namespace mr {
namespace {

TEST(MRImage, ReadsThePngHeader) {
  const Bytes png = test::pngHeader(640, 480);
  const auto image = MRImage::decode(png);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->format, "png");
  EXPECT_EQ(image->width, 640);
  EXPECT_EQ(image->height, 480);
  EXPECT_EQ(image->data, png);
}

TEST(MRImage, FindsTheJpegFrameAfterOtherSegments) {
  const auto image = MRImage::decode(test::jpegHeader(300, 200));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->format, "jpeg");
  EXPECT_EQ(image->width, 300);
  EXPECT_EQ(image->height, 200);
}

TEST(MRImage, ReadsTheGifLogicalScreen) {
  const auto image = MRImage::decode(test::gifHeader(258, 3));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->format, "gif");
  EXPECT_EQ(image->width, 258);
  EXPECT_EQ(image->height, 3);
}

TEST(MRImage, RefusesWhatIsNoImage) {
  EXPECT_FALSE(MRImage::decode({}));
  const std::string text = R"({"error":0})";
  EXPECT_FALSE(MRImage::decode(Bytes(text.begin(), text.end())));
  // Truncated headers, and a size of nothing.
  Bytes png = test::pngHeader(10, 10);
  png.resize(20);
  EXPECT_FALSE(MRImage::decode(png));
  EXPECT_FALSE(MRImage::decode(test::pngHeader(0, 10)));
  Bytes gif = test::gifHeader(10, 10);
  gif.resize(8);
  EXPECT_FALSE(MRImage::decode(gif));
  // A JPEG whose scan starts before any frame, and one cut inside a segment.
  EXPECT_FALSE(MRImage::decode(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}));
  Bytes jpeg = test::jpegHeader(300, 200);
  jpeg.resize(10);
  EXPECT_FALSE(MRImage::decode(jpeg));
  // A segment length that points past the end.
  EXPECT_FALSE(MRImage::decode(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0x00}));
}

}  // namespace
}  // namespace mr
