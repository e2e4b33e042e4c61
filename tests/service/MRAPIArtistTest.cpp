#include "service/MRAPIArtist.h"

#include "base/Json.h"
#include "service/ServiceTestSupport.h"
#include "store/CDArtist.h"
#include "store/Database.h"

namespace mr {
namespace {

LastfmArtist bandFromLastfm() {
  LastfmArtist artist;
  artist.name = "Band";
  artist.url = "https://last.fm/music/Band";
  artist.bioContent = "Long story";
  artist.bioSummary = "Short";
  artist.imageUrl.mega = "https://img/mega.png";
  artist.imageUrl.large = "https://img/l.png";
  artist.tag = {"rock", "indie"};
  LastfmArtistSummary other;
  other.name = "Other";
  other.imageUrl.small = "https://img/s.png";
  artist.similar = {other};
  return artist;
}

TEST(MRAPIArtistJson, LastfmArtistKeepsMemberOrderAndWritesNullForMissingValues) {
  EXPECT_EQ(
      MRAPIArtist::makeArtistParameterWithLastFMArtist(bandFromLastfm(), std::string("ja")),
      R"({"name":"Band","url":"https://last.fm/music/Band","mbid":null,"bioLanguage":"ja",)"
      R"("bioContent":"Long story","bioSummary":"Short","imageMega":"https://img/mega.png",)"
      R"("imageExtraLarge":null,"imageLarge":"https://img/l.png","imageMedium":null,)"
      R"("imageSmall":null,"tags":["rock","indie"],"variants":[],"similars":[{"name":"Other",)"
      R"("url":"","imageMega":null,"imageExtraLarge":null,"imageLarge":null,"imageMedium":null,)"
      R"("imageSmall":"https://img/s.png"}]})");
}

TEST(MRAPIArtistJson, EmptyLastfmArtistFallsBackToEnglishAndEmptyTexts) {
  LastfmArtist nameless;
  nameless.mbid = "0383dadf-2a4e-4d10-a46a-e9e041da8eb3";
  EXPECT_EQ(MRAPIArtist::makeArtistParameterWithLastFMArtist(nameless, std::nullopt),
            R"({"name":"","url":"","mbid":"0383dadf-2a4e-4d10-a46a-e9e041da8eb3",)"
            R"("bioLanguage":"en","bioContent":"","bioSummary":"","imageMega":null,)"
            R"("imageExtraLarge":null,"imageLarge":null,"imageMedium":null,"imageSmall":null,)"
            R"("tags":[],"variants":[],"similars":[]})");
  EXPECT_EQ(MRAPIArtist::serializeArtistMetaDataWithLastFMArtist(nameless, std::string())
                .stringForKey("bioLanguage", ""),
            "en");
}

struct StoredArtistFixture : ::testing::Test {
  test::TempDir dir;
  std::shared_ptr<Database> store = [this] {
    auto opened = Database::open(dir.file("store/mirelune.sqlite"), Database::OpenMode::AsIs);
    EXPECT_TRUE(opened.ok());
    return opened.ok() ? *opened : nullptr;
  }();
  std::shared_ptr<Context> context = store->newContext();
  CDArtistEntityController artists{context};
};

TEST_F(StoredArtistFixture, StoredArtistLeavesMissingMembersOutAndHasNoSimilars) {
  auto artist = artists.insertNewObjectWithLastfmArtist(bandFromLastfm());
  ASSERT_TRUE(artist);
  artist->setMbid(std::nullopt);
  CDArtistVariantEntityController variants(context);
  auto variant = variants.insertNewObjectWithName("The Band", *artist->itemHash());
  artist->addVariantsObject(*variant);

  const std::string json =
      MRAPIArtist::makeArtistParameterWithCoreDataArtist(*artist, std::string("ja"));
  EXPECT_EQ(json,
            R"({"name":"Band","url":"https://last.fm/music/Band","bioLanguage":"ja",)"
            R"("bioContent":"Long story","bioSummary":"Short","imageMega":"https://img/mega.png",)"
            R"("imageLarge":"https://img/l.png","tags":["rock","indie"],"variants":["the band"]})");

  // No language, no member; an mbid set is sent.
  artist->setMbid(std::string("mbid-1"));
  const auto parsed =
      parseJson(MRAPIArtist::makeArtistParameterWithCoreDataArtist(*artist, std::nullopt));
  ASSERT_TRUE(parsed.ok());
  EXPECT_FALSE(parsed->contains("bioLanguage"));
  EXPECT_FALSE(parsed->contains("similars"));
  EXPECT_EQ(parsed->stringForKey("mbid", ""), "mbid-1");
}

TEST_F(StoredArtistFixture, StoredArtistFromLastfmWithoutMbidSendsNoMbid) {
  // Last.fm artists carry no mbid; the store keeps "" for it.
  auto artist = artists.insertNewObjectWithLastfmArtist(bandFromLastfm());
  const auto parsed =
      parseJson(MRAPIArtist::makeArtistParameterWithCoreDataArtist(*artist, std::string("en")));
  ASSERT_TRUE(parsed.ok());
  EXPECT_FALSE(parsed->contains("mbid"));
  EXPECT_TRUE(parsed->contains("tags"));
}

using MRAPIArtistTest = test::ServiceFixture;

TEST_F(MRAPIArtistTest, GetWithWaidSendsEmptyFieldsAndReadsTheArtist) {
  signIn();
  answerJson("artist/get_with_waid",
             R"({"error":0,"result":{"waid":"a1","name":"Band","mbid":"m"}})");
  test::Capture<bool, std::optional<MRArtistDocument>> got;
  MRAPIArtist api(engine());
  ASSERT_TRUE(api.getWithWaid("a1", std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  ASSERT_TRUE(got.completed());
  EXPECT_TRUE(got.get<0>());
  ASSERT_TRUE(got.get<1>());
  EXPECT_EQ(got.get<1>()->name(), "Band");
  EXPECT_EQ(got.get<1>()->waid(), "a1");

  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "artist/get_with_waid");
  EXPECT_EQ(request.unsignedFields(),
            (std::map<std::string, std::string>{{"waid", "a1"}, {"fields", "{}"}}));
  for (const char* signature : {"__aid", "__s", "__pt", "__ts", "__n"})
    EXPECT_TRUE(request.has(signature)) << signature;
  EXPECT_EQ(request.field("__aid"), "15");
  EXPECT_EQ(request.field("__pt"), "public-token");
  EXPECT_FALSE(request.has("__private"));
}

TEST_F(MRAPIArtistTest, GetWithWaidSendsTheCallersFieldsAsCompactJson) {
  signIn();
  Value fields = Value::dictionary();
  fields.set("bio", Value(true));
  fields.set("stats", Value(1));
  test::Capture<bool, std::optional<MRArtistDocument>> got;
  ASSERT_TRUE(MRAPIArtist(engine()).getWithWaid("a1", fields, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(onlyRequest().field("fields"), R"({"bio":true,"stats":1})");
}

TEST_F(MRAPIArtistTest, GetWithWaidWithoutADictionaryResultReportsNothing) {
  signIn();
  answerJson("artist/get_with_waid", R"({"error":0,"result":[1,2]})");
  test::Capture<bool, std::optional<MRArtistDocument>> got;
  ASSERT_TRUE(MRAPIArtist(engine()).getWithWaid("a1", std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_FALSE(got.get<0>());
  EXPECT_FALSE(got.get<1>());

  // An API error with a dictionary still gives the document, with a false flag.
  answerJson("artist/get_with_waid", R"({"error":3,"result":{"name":"Band"}})");
  test::Capture<bool, std::optional<MRArtistDocument>> failed;
  ASSERT_TRUE(
      MRAPIArtist(engine()).getWithWaid("a1", std::nullopt, failed.completion(), failed.error()));
  ASSERT_TRUE(failed.wait());
  EXPECT_FALSE(failed.get<0>());
  ASSERT_TRUE(failed.get<1>());
  EXPECT_EQ(failed.get<1>()->name(), "Band");
}

TEST_F(MRAPIArtistTest, UpdateReadsTheBodyAsJsonWithoutAnEnvelope) {
  signIn();
  answerJson("artist/update", R"({"waid":"w-9"})");
  test::Capture<bool, std::optional<std::string>> got;
  ASSERT_TRUE(MRAPIArtist(engine()).updateWithLastFMArtist(bandFromLastfm(), std::string("en"),
                                                           got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  EXPECT_EQ(got.get<1>(), std::optional<std::string>("w-9"));
  const auto request = onlyRequest();
  EXPECT_EQ(request.field("artist"),
            MRAPIArtist::makeArtistParameterWithLastFMArtist(bandFromLastfm(), std::string("en")));

  // An object without a waid is still a success; anything else is not.
  answerJson("artist/update", R"({"error":1})");
  test::Capture<bool, std::optional<std::string>> noWaid;
  ASSERT_TRUE(MRAPIArtist(engine()).updateWithInfoParam("{}", noWaid.completion(), noWaid.error()));
  ASSERT_TRUE(noWaid.wait());
  EXPECT_TRUE(noWaid.get<0>());
  EXPECT_FALSE(noWaid.get<1>());

  answer("artist/update", test::Reply{200, "not json", "text/plain"});
  test::Capture<bool, std::optional<std::string>> garbage;
  ASSERT_TRUE(
      MRAPIArtist(engine()).updateWithInfoParam("{}", garbage.completion(), garbage.error()));
  ASSERT_TRUE(garbage.wait());
  EXPECT_FALSE(garbage.get<0>());
  EXPECT_FALSE(garbage.get<1>());
}

TEST_F(MRAPIArtistTest, HttpErrorStatusGoesToTheErrorCallbackOnly) {
  signIn();
  answer("artist/get_with_waid", test::Reply{503, "busy", "text/plain"});
  test::Capture<bool, std::optional<MRArtistDocument>> got;
  ASSERT_TRUE(MRAPIArtist(engine()).getWithWaid("a1", std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_FALSE(got.completed());
  ASSERT_TRUE(got.failure());
  EXPECT_EQ(got.failure()->code(), 503);
  EXPECT_EQ(got.calls(), 1);
}

TEST_F(MRAPIArtistTest, WithoutAnAccountNothingIsSentAndNoCallbackRuns) {
  test::Capture<bool, std::optional<MRArtistDocument>> got;
  EXPECT_EQ(MRAPIArtist(engine()).getWithWaid("a1", std::nullopt, got.completion(), got.error()),
            nullptr);
  EXPECT_EQ(got.calls(), 0);
  EXPECT_TRUE(requests().empty());
}

}  // namespace
}  // namespace mr
