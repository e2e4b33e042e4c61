#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/MRArtistDocument.h"
#include "model/MRImageDocument.h"
#include "model/MRListenerProfileDocument.h"

namespace mr {
namespace {

using test::json;
using test::seconds;

TEST(MRArtistDocumentTest, LargestImageDependsOnTheKindOfDocument) {
  const Value images = json(R"({"imageSmall": "s.png", "imageSquare": "sq.png"})");
  const MRArtistDocument artist(images);
  const MRArtistSummaryDocument summary(images);

  EXPECT_EQ(summary.imageSmall(), "s.png");
  EXPECT_EQ(summary.imageLargest(), "s.png");
  EXPECT_FALSE(artist.imageSmall().has_value());
  EXPECT_EQ(artist.imageLargest(), "sq.png");
  // Also when the artist is handed on as a summary.
  const MRArtistSummaryDocument& asSummary = artist;
  EXPECT_EQ(asSummary.imageLargest(), "sq.png");
  EXPECT_EQ(MRImageDocument(images).imageLargest(), "s.png");

  EXPECT_EQ(MRImageDocument(json(R"({"imageSquare": "sq.png"})")).imageLargest(), "sq.png");
  EXPECT_FALSE(
      MRArtistSummaryDocument(json(R"({"imageSquare": "sq.png"})")).imageLargest().has_value());
  // Larger sizes win, and an empty URL is still a URL the service sent.
  const Value several = json(R"({"imageMedium": "m.png", "imageLarge": "", "imageSmall": "s"})");
  EXPECT_EQ(MRArtistDocument(several).imageLargest(), "");
  EXPECT_EQ(MRArtistSummaryDocument(json(R"({"imageMedium": "m", "imageExtraLarge": "xl"})"))
                .imageLargest(),
            "xl");
  EXPECT_FALSE(MRArtistDocument(json("{}")).imageLargest().has_value());
}

TEST(MRArtistDocumentTest, ListsKeepTheirKindAndNestedDocumentsReadTheirOwnRules) {
  MRArtistDocument artist(json(R"({
      "tags": ["pop", 3, "dance"], "lastModifiedAt": 1650000000,
      "similars": [{"waid": "a8", "imageSmall": "s.png"}, "x"],
      "stats": {"numOfFans": "120"},
      "media": {"soundcloudUser": {"id": 555, "permalink_url": "https://sc/cher"},
                "facebookPage": {"id": "1234567890"}}})"));
  EXPECT_EQ(artist.tags(), (std::vector<std::string>{"pop", "dance"}));
  EXPECT_EQ(artist.lastModifiedAt(), seconds(1650000000));
  const auto similars = artist.similars();
  ASSERT_EQ(similars.size(), 1u);
  EXPECT_EQ(similars[0].imageLargest(), "s.png");  // a summary: its small image counts
  EXPECT_EQ(artist.stats()->numOfFans(), 120);
  EXPECT_EQ(artist.media()->soundcloudUser()->userId(), 555);
  EXPECT_EQ(artist.media()->soundcloudUser()->permalinkUrl(), "https://sc/cher");
  EXPECT_EQ(artist.media()->facebookPage()->objectId(), "1234567890");

  // Absent or of another kind: the full artist may lack its id, which the summary reads as "".
  const Value odd = json(R"({"tags": "pop", "similars": {"name": "x"}})");
  EXPECT_FALSE(MRArtistDocument(odd).waid().has_value());
  EXPECT_EQ(MRArtistSummaryDocument(odd).waid(), "");
  EXPECT_TRUE(MRArtistDocument(odd).tags().empty());
  EXPECT_TRUE(MRArtistDocument(odd).similars().empty());
  EXPECT_FALSE(MRArtistDocument(odd).bio().has_value());
}

TEST(MRArtistBiographyDocumentTest, CurrentLanguageFallsBackToJapaneseOnlyWhenAbsent) {
  const MRArtistBiographyDocument onlyJapanese(
      json(R"({"ja": {"bioContent": "長い紹介", "bioSummary": "短い紹介"}})"));
  EXPECT_EQ(onlyJapanese.bioSummaryForCurrentLang("en"), "短い紹介");
  EXPECT_EQ(onlyJapanese.bioContentForCurrentLang("en"), "長い紹介");
  EXPECT_FALSE(onlyJapanese.bioSummaryForLang("en").has_value());

  // An English entry with an empty summary is the answer, not a gap.
  const MRArtistBiographyDocument emptyEnglish(json(R"({
      "en": {"bioSummary": "", "bioContent": "English"},
      "ja": {"bioSummary": "短い紹介", "bioContent": "長い紹介"}})"));
  EXPECT_EQ(emptyEnglish.bioSummaryForCurrentLang("en"), "");
  EXPECT_EQ(emptyEnglish.bioContentForCurrentLang("en"), "English");
  EXPECT_EQ(emptyEnglish.bioSummaryForCurrentLang("ja"), "短い紹介");
  EXPECT_EQ(emptyEnglish.bioSummaryForCurrentLang("fr"), "短い紹介");

  // An entry lacking the text gives ""; an entry that is no object is absent.
  const MRArtistBiographyDocument odd(json(R"({"en": {"bioContent": 5}, "de": "Text",
                                                "ja": {"bioSummary": "要約"}})"));
  EXPECT_EQ(odd.bioContentForLang("en"), "");
  EXPECT_FALSE(odd.getBioForLang("de").has_value());
  EXPECT_EQ(odd.bioSummaryForCurrentLang("de"), "要約");
  EXPECT_EQ(odd.getBioForLang("ja")->stringForKey("bioSummary", ""), "要約");

  const MRArtistBiographyDocument none(json(R"({"en": {"bioSummary": "x"}})"));
  EXPECT_FALSE(none.bioSummaryForCurrentLang("fr").has_value());
  EXPECT_FALSE(MRArtistBiographyDocument(Value("x")).bioContentForCurrentLang("ja").has_value());
}

TEST(MRListenerProfileDocumentTest, ProfileAndTagCloud) {
  MRListenerProfileDocument profile(json(R"({
      "aid": "88", "aname": "kei", "bio": "I like synth pop", "twitterProfileUrl": "https://tw/kei",
      "profileTagCloud": {"imageUrl": "https://cloud/88.png", "shape": "heart"}})"));
  EXPECT_EQ(profile.aid(), 88);
  EXPECT_EQ(profile.bio(), "I like synth pop");
  EXPECT_EQ(profile.twitterProfileUrl(), "https://tw/kei");
  EXPECT_FALSE(profile.facebookProfileUrl().has_value());
  EXPECT_EQ(profile.profileTagCloud()->shape(), "heart");
  EXPECT_EQ(profile.profileTagCloud()->imageUrl(), "https://cloud/88.png");
}

}  // namespace
}  // namespace mr
