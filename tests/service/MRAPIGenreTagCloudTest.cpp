#include "service/MRAPIGenreTagCloud.h"

#include <cmath>
#include <limits>

#include "service/ImageSamples.h"
#include "service/ServiceTestSupport.h"

namespace mr {
namespace {

using MRAPIGenreTagCloudTest = test::ServiceFixture;
using Cloud = test::Capture<bool, std::optional<MRImage>>;

TEST(MRAPIGenreTagCloudJson, SkipsJapaneseExactlyAndWritesTheFloatWeight) {
  const auto tags = MRAPIGenreTagCloud::tagsParameter(
      {{"rock", 0.5f}, {"japanese", 0.9f}, {"Japanese", 0.9f}, {"jazz", 0.1f}});
  ASSERT_TRUE(tags.ok());
  EXPECT_EQ(*tags, R"([{"weight":0.5,"name":"rock"},{"weight":0.9,"name":"Japanese"},)"
                   R"({"weight":0.1,"name":"jazz"}])");
  EXPECT_EQ(*MRAPIGenreTagCloud::tagsParameter({}), "[]");
}

TEST_F(MRAPIGenreTagCloudTest, SendsTheTagsAndShapeAndDecodesTheImage) {
  signIn();
  const Bytes png = test::pngHeader(320, 240);
  answer("genre_tagcloud/generate",
         test::Reply{200, std::string(png.begin(), png.end()), "image/png"});
  Cloud got;
  auto progress = std::make_shared<std::atomic<int>>(0);
  ASSERT_TRUE(MRAPIGenreTagCloud(engine()).generateWithTags(
      {{"rock", 0.5f}, {"japanese", 0.9f}}, "heart", [progress](double) { ++*progress; },
      got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  ASSERT_TRUE(got.completed());
  EXPECT_TRUE(got.get<0>());
  const auto image = got.get<1>();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->format, "png");
  EXPECT_EQ(image->width, 320);
  EXPECT_EQ(image->height, 240);
  EXPECT_EQ(image->data, png);

  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "genre_tagcloud/generate");
  EXPECT_EQ(request.unsignedFields(),
            (std::map<std::string, std::string>{{"tags", R"([{"weight":0.5,"name":"rock"}])"},
                                                {"shape", "heart"}}));
}

TEST_F(MRAPIGenreTagCloudTest, AnEnvelopeInsteadOfAnImageIsNoImage) {
  signIn();
  answerJson("genre_tagcloud/generate", R"({"error":0,"result":"https://img/cloud.png"})");
  Cloud got;
  ASSERT_TRUE(MRAPIGenreTagCloud(engine()).generateWithTags({{"rock", 1.0f}}, "circle", {},
                                                            got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_FALSE(got.get<0>());
  EXPECT_FALSE(got.get<1>());
}

TEST_F(MRAPIGenreTagCloudTest, AWeightJsonCannotHoldFailsAtOnce) {
  signIn();
  Cloud got;
  EXPECT_EQ(MRAPIGenreTagCloud(engine()).generateWithTags(
                {{"rock", std::numeric_limits<float>::quiet_NaN()}}, "circle", {}, got.completion(),
                got.error()),
            nullptr);
  EXPECT_EQ(got.calls(), 1);
  ASSERT_TRUE(got.failure());
  EXPECT_EQ(got.failure()->code(), MRAPIGenreTagCloud::kTagsNotSerializable);
  EXPECT_TRUE(requests().empty());

  // A skipped tag is never written, whatever its weight.
  EXPECT_TRUE(
      MRAPIGenreTagCloud::tagsParameter({{"japanese", std::numeric_limits<float>::infinity()}})
          .ok());
}

}  // namespace
}  // namespace mr
