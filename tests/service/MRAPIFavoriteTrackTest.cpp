#include "service/MRAPIFavoriteTrack.h"

#include "base/MRUserDefaults.h"
#include "service/ServiceTestSupport.h"

namespace mr {
namespace {

using MRAPIFavoriteTrackTest = test::ServiceFixture;

MRFavoriteTrackMixTrackItem favorite() {
  MRFavoriteTrackMixTrackItem item;
  item.artist = "Band";
  item.title = "Song";
  item.favoritedAt = Date::fromSecondsSince1970(1400000000.75);
  return item;
}

TEST_F(MRAPIFavoriteTrackTest, AddSendsTheItemWithWholeSecondsAndNoEmptyArtwork) {
  signIn();
  test::Capture<bool> got;
  ASSERT_TRUE(MRAPIFavoriteTrack(engine()).addWithPlaylistTrackItem(favorite(), got.completion(),
                                                                    got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "favorite_track/add");
  EXPECT_EQ(request.unsignedFields(),
            (std::map<std::string, std::string>{
                {"artistName", "Band"}, {"trackTitle", "Song"}, {"favoritedAt", "1400000000"}}));
}

TEST_F(MRAPIFavoriteTrackTest, RemoveSendsTheSameFourAndReportsFailure) {
  signIn();
  answerJson("favorite_track/remove", R"({"error":404,"errmsg":"no such favourite"})");
  MRFavoriteTrackMixTrackItem item = favorite();
  item.imageUrl = "https://img/cover.jpg";
  test::Capture<bool> got;
  ASSERT_TRUE(MRAPIFavoriteTrack(engine()).removeWithPlaylistTrackItem(item, got.completion(),
                                                                       got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_FALSE(got.get<0>());
  EXPECT_EQ(onlyRequest().unsignedFields(),
            (std::map<std::string, std::string>{{"artistName", "Band"},
                                                {"trackTitle", "Song"},
                                                {"artworkUrl", "https://img/cover.jpg"},
                                                {"favoritedAt", "1400000000"}}));
}

TEST_F(MRAPIFavoriteTrackTest, AnItemWithoutAFavouriteDateSendsZero) {
  signIn();
  MRPlaylistTrackItem plain;
  plain.artist = "Band";
  plain.title = "Song";
  test::Capture<bool> got;
  ASSERT_TRUE(
      MRAPIFavoriteTrack(engine()).addWithPlaylistTrackItem(plain, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(onlyRequest().field("favoritedAt"), "0");
}

TEST_F(MRAPIFavoriteTrackTest, ShareWithNoConnectionsSendsNothing) {
  signIn();
  test::Capture<bool> got;
  EXPECT_EQ(MRAPIFavoriteTrack(engine()).shareWithWtid("t1", {}, got.completion(), got.error()),
            nullptr);
  testEnv().pool().waitIdle();
  EXPECT_EQ(got.calls(), 0);
  EXPECT_TRUE(requests().empty());

  ASSERT_TRUE(
      MRAPIFavoriteTrack(engine()).shareWithWtid("t1", {3, 4}, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(onlyRequest().unsignedFields(),
            (std::map<std::string, std::string>{{"shareOn", "[3,4]"}, {"wtid", "t1"}}));
}

TEST_F(MRAPIFavoriteTrackTest, MyFavoritesKeepOnlyDictionaries) {
  signIn();
  answerJson("favorite_track/get",
             R"({"error":0,"result":[{"trackTitle":"A","favoritedAt":1400000000},7,)"
             R"({"trackTitle":"B"}]})");
  test::Capture<bool, std::optional<std::vector<MRFavoriteTrackDocument>>> got;
  ASSERT_TRUE(MRAPIFavoriteTrack(engine()).getMyFavorites(got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  const auto favorites = got.get<1>();
  ASSERT_TRUE(favorites);
  ASSERT_EQ(favorites->size(), 2u);
  EXPECT_EQ((*favorites)[0].trackTitle(), "A");
  EXPECT_EQ((*favorites)[0].favoritedAt(), Date::fromSecondsSince1970(1400000000));
  EXPECT_EQ((*favorites)[1].trackTitle(), "B");
  // Still signed, with nothing else.
  const auto request = onlyRequest();
  EXPECT_TRUE(request.unsignedFields().empty());
  EXPECT_TRUE(request.has("__s"));
}

TEST_F(MRAPIFavoriteTrackTest, MyFavoritesFailWithoutAnArrayOrAnEnvelope) {
  signIn();
  for (const char* body : {R"({"error":0,"result":{}})", R"({"error":1,"result":[]})", "[]"}) {
    answerJson("favorite_track/get", body);
    test::Capture<bool, std::optional<std::vector<MRFavoriteTrackDocument>>> got;
    ASSERT_TRUE(MRAPIFavoriteTrack(engine()).getMyFavorites(got.completion(), got.error()));
    ASSERT_TRUE(got.wait()) << body;
    EXPECT_FALSE(got.get<0>()) << body;
    EXPECT_FALSE(got.get<1>()) << body;
  }
}

struct AutoSharingTest : test::ServiceFixture {
  std::shared_ptr<ovloConnectionList> connections =
      std::make_shared<ovloConnectionList>(testEnv().settings());
  MRUserDefaults defaults{testEnv().settings(), testEnv().env().paths().home};

  AutoSharingTest() {
    connections->upsertWithItem({"facebook", "fb", 15, 101, std::nullopt});
    connections->upsertWithItem({"twitter", "tw", 15, 201, std::nullopt});
    connections->upsertWithItem({"facebook", "fb2", 15, 102, std::nullopt});
  }
  std::vector<int64_t> cids() const {
    return MRAPIFavoriteTrack(engine()).arrayOfCidForAutoSharing(connections);
  }
};

TEST_F(AutoSharingTest, NothingUnlessAutomaticSharingIsOn) {
  ASSERT_TRUE(defaults.setAutoSharingOnFavorite(false).ok());
  EXPECT_TRUE(cids().empty());
}

TEST_F(AutoSharingTest, FacebookConnectionsFirstThenTwitter) {
  ASSERT_TRUE(defaults.setAutoSharingOnFavorite(true).ok());
  EXPECT_EQ(cids(), (std::vector<int64_t>{101, 102, 201}));
  ASSERT_TRUE(defaults.setShareOnFacebook(false).ok());
  EXPECT_EQ(cids(), (std::vector<int64_t>{201}));
  ASSERT_TRUE(defaults.setShareOnFacebook(true).ok());
  ASSERT_TRUE(defaults.setShareOnTwitter(false).ok());
  EXPECT_EQ(cids(), (std::vector<int64_t>{101, 102}));
}

}  // namespace
}  // namespace mr
