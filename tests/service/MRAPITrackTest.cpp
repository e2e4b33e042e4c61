#include "service/MRAPITrack.h"

#include "base/Json.h"
#include "base/SystemLocale.h"
#include "service/MRAPIArtist.h"
#include "service/MRAPIArtistTopTrackMix.h"
#include "service/ServiceTestSupport.h"
#include "service/ovloAccount.h"

namespace mr {
namespace {

MRPreviewDataSource youTubeSource(const std::string& videoId) {
  MRYouTubeAdditionalInfo info;
  info.setVideoID(videoId);
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDYouTube;
  source.additionalInfo = std::make_shared<MRYouTubeAdditionalInfo>(info);
  return source;
}

MRPreviewDataSource iTunesSource() {
  MRiTunesAdditionalInfo info;
  info.setTrackViewUrl(std::string("https://store/track/1"));
  info.setPreviewUrl(std::string("https://store/preview-from-search.m4a"));
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDITunes;
  source.previewUrl = "https://store/preview.m4a";
  source.additionalInfo = std::make_shared<MRiTunesAdditionalInfo>(info);
  return source;
}

MRPlaylistTrackItem trackItem() {
  MRPlaylistTrackItem item;
  item.artist = "Band";
  item.title = "Song";
  item.imageUrl = "https://img/cover.jpg";
  return item;
}

TEST(MRAPITrackJson, PlainItemHasTitleArtistAndArtworkOnly) {
  EXPECT_EQ(MRAPITrack::serializeWithJSONTrackInfoForTrackItem(trackItem()),
            R"({"trackTitle":"Song","artistName":"Band","artworkUrl":"https://img/cover.jpg"})");
  MRPlaylistTrackItem bare;
  bare.title = "Only a title";
  EXPECT_EQ(MRAPITrack::serializeWithJSONTrackInfoForTrackItem(bare),
            R"({"trackTitle":"Only a title"})");
}

TEST(MRAPITrackJson, PreviewSourcesAddTheVideoAndTheStoreMembers) {
  MRPlaylistTrackItem item = trackItem();
  item.previewDataSourceSet = {iTunesSource(), youTubeSource("dQw4w9WgXcQ")};
  EXPECT_EQ(MRAPITrack::serializeWithJSONTrackInfoForTrackItem(item),
            R"({"trackTitle":"Song","artistName":"Band","artworkUrl":"https://img/cover.jpg",)"
            R"("youTubeVideoId":"dQw4w9WgXcQ","iTunesStoreTrackViewUrl":"https://store/track/1",)"
            R"("iTunesStoreCountry":")" +
                currentRegionCode() + R"(","iTunesStorePreviewUrl":"https://store/preview.m4a"})");

  // An unresolved video and a store source without a URL of its own.
  MRPreviewDataSource unresolved;
  unresolved.sourceID = MRPreviewSourceIDYouTube;
  MRPreviewDataSource store = iTunesSource();
  store.previewUrl.reset();
  item.previewDataSourceSet = {unresolved, store};
  const Value json = MRAPITrack::serializeTrackMetaDataFromTrackItem(item);
  EXPECT_FALSE(json.contains("youTubeVideoId"));
  EXPECT_EQ(json.stringForKey("iTunesStorePreviewUrl", ""),
            "https://store/preview-from-search.m4a");
}

TEST(MRAPIArtistTopTrackMixJson, ArtistInTheCurrentLanguageThenTheTracksInOrder) {
  LastfmArtist artist;
  artist.name = "Band";
  auto first = std::make_shared<MRPlaylistTrackItem>(trackItem());
  auto second = std::make_shared<MRPlaylistTrackItem>();
  second->artist = "Band";
  second->title = "Other song";
  const std::string json =
      MRAPIArtistTopTrackMix::serializeIntoJSONFromArtistInfo(artist, {first, nullptr, second});
  EXPECT_EQ(json,
            R"({"artist":)" +
                MRAPIArtist::makeArtistParameterWithLastFMArtist(artist, MRCurrentLanguage()) +
                R"(,"tracks":[)" + MRAPITrack::serializeWithJSONTrackInfoForTrackItem(*first) +
                "," + MRAPITrack::serializeWithJSONTrackInfoForTrackItem(*second) + "]}");
}

using MRAPITrackTest = test::ServiceFixture;
using TrackUpdate = test::Capture<bool, std::optional<std::string>, std::optional<std::string>,
                                  std::optional<std::string>>;

TEST_F(MRAPITrackTest, UpdateReadsTheIdsFromADictionaryResult) {
  signIn();
  answerJson("track/update",
             R"({"error":0,"result":{"wtid":"t1","waid":"a1","trackViewUrl":"https://store/1"}})");
  TrackUpdate got;
  ASSERT_TRUE(MRAPITrack(engine()).updateWithTrackItem(trackItem(), got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(got.values(), std::make_tuple(true, std::optional<std::string>("t1"),
                                          std::optional<std::string>("a1"),
                                          std::optional<std::string>("https://store/1")));
  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "track/update");
  EXPECT_EQ(request.unsignedFields(),
            (std::map<std::string, std::string>{
                {"track", MRAPITrack::serializeWithJSONTrackInfoForTrackItem(trackItem())}}));
}

TEST_F(MRAPITrackTest, UpdateWithoutADictionaryResultFails) {
  signIn();
  answerJson("track/update", R"({"error":0,"result":"t1"})");
  TrackUpdate got;
  ASSERT_TRUE(MRAPITrack(engine()).updateWithTrackItem(trackItem(), got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(got.values(),
            std::make_tuple(false, std::optional<std::string>(), std::optional<std::string>(),
                            std::optional<std::string>()));
}

TEST_F(MRAPITrackTest, UpdateWithArtistSendsBothJsonTexts) {
  signIn();
  answerJson("track/update_with_artist", R"({"error":0,"result":{"wtid":"t1","waid":7}})");
  LastfmArtist artist;
  artist.name = "Band";
  TrackUpdate got;
  ASSERT_TRUE(MRAPITrack(engine()).updateWithTrackItem(trackItem(), artist, std::string("ja"),
                                                       got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  // The ids are read as text only.
  EXPECT_EQ(got.values(),
            std::make_tuple(true, std::optional<std::string>("t1"), std::optional<std::string>(),
                            std::optional<std::string>()));
  const auto request = onlyRequest();
  EXPECT_EQ(request.field("artist"),
            MRAPIArtist::makeArtistParameterWithLastFMArtist(artist, std::string("ja")));
  EXPECT_EQ(request.field("track"),
            MRAPITrack::serializeWithJSONTrackInfoForTrackItem(trackItem()));
}

TEST_F(MRAPITrackTest, CommentSharesOnTheGivenConnectionsOrNone) {
  signIn();
  answerJson("track/add_comment", R"({"error":0,"result":null})");
  TrackUpdate none;
  ASSERT_TRUE(MRAPITrack(engine()).addComment("Nice", "t1", {}, none.completion(), none.error()));
  ASSERT_TRUE(none.wait());
  // Error code 0 is success even without a result.
  EXPECT_EQ(none.values(),
            std::make_tuple(true, std::optional<std::string>(), std::optional<std::string>(),
                            std::optional<std::string>()));
  EXPECT_EQ(
      onlyRequest().unsignedFields(),
      (std::map<std::string, std::string>{{"comment", "Nice"}, {"wtid", "t1"}, {"shareOn", "[]"}}));

  answerJson("track/add_comment", R"({"error":2,"result":{"wtid":"t1"}})");
  TrackUpdate shared;
  ASSERT_TRUE(
      MRAPITrack(engine()).addComment("Nice", "t1", {11, 12}, shared.completion(), shared.error()));
  ASSERT_TRUE(shared.wait());
  EXPECT_FALSE(shared.get<0>());
  EXPECT_FALSE(shared.get<1>());
  EXPECT_EQ(requests().back().field("shareOn"), "[11,12]");
}

TEST_F(MRAPITrackTest, GetCallsBuildTheTrackFromWhateverCameBack) {
  signIn();
  answerJson("track/get", R"({"error":5,"result":{"wtid":"t1","trackTitle":"Song"}})");
  test::Capture<bool, MRTrackDocument> byName;
  ASSERT_TRUE(
      MRAPITrack(engine()).getWithArtistName("Band", "Song", byName.completion(), byName.error()));
  ASSERT_TRUE(byName.wait());
  EXPECT_FALSE(byName.get<0>());
  EXPECT_EQ(byName.get<1>().trackTitle(), "Song");
  EXPECT_EQ(requests().back().unsignedFields(),
            (std::map<std::string, std::string>{{"artistName", "Band"}, {"trackTitle", "Song"}}));

  answer("track/get", test::Reply{200, "<html>", "text/html"});
  test::Capture<bool, MRTrackDocument> byId;
  ASSERT_TRUE(MRAPITrack(engine()).getWithWtid("t1", byId.completion(), byId.error()));
  ASSERT_TRUE(byId.wait());
  EXPECT_FALSE(byId.get<0>());
  EXPECT_FALSE(byId.get<1>().hasDictionary());
  EXPECT_EQ(requests().back().unsignedFields(),
            (std::map<std::string, std::string>{{"wtid", "t1"}}));
}

TEST_F(MRAPITrackTest, TracksOfAnArtistOnePerElement) {
  signIn();
  answerJson("track/get_with_waid", R"({"error":0,"result":[{"wtid":"t1"},{"wtid":"t2"}]})");
  test::Capture<bool, std::vector<MRTrackDocument>> got;
  ASSERT_TRUE(MRAPITrack(engine()).getWithWaid("a1", std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  ASSERT_EQ(got.get<1>().size(), 2u);
  EXPECT_EQ(got.get<1>()[1].wtid(), "t2");
  EXPECT_EQ(onlyRequest().field("fields"), "{}");
}

TEST_F(MRAPITrackTest, PlaybackGivesTheFanRelationOnlyOnSuccess) {
  signIn();
  answerJson("track/playback", R"({"error":0,"result":{"aid":15,"membership":2}})");
  test::Capture<bool, std::optional<MRFanDocument>> got;
  ASSERT_TRUE(MRAPITrack(engine()).playbackWithWtid("t1", got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  ASSERT_TRUE(got.get<1>());
  EXPECT_EQ(got.get<1>()->membership(), 2);

  answerJson("track/playback", R"({"error":0,"result":null})");
  test::Capture<bool, std::optional<MRFanDocument>> empty;
  ASSERT_TRUE(MRAPITrack(engine()).playbackWithWtid("t1", empty.completion(), empty.error()));
  ASSERT_TRUE(empty.wait());
  EXPECT_TRUE(empty.get<0>());
  EXPECT_FALSE(empty.get<1>());
}

TEST_F(MRAPITrackTest, TopTrackMixSendsTheMixJson) {
  signIn();
  LastfmArtist artist;
  artist.name = "Band";
  const MRAPIArtistTopTrackMix::TrackItems tracks{
      std::make_shared<MRPlaylistTrackItem>(trackItem())};
  test::Capture<bool, std::optional<std::string>, std::optional<std::string>> got;
  ASSERT_TRUE(MRAPIArtistTopTrackMix(engine()).updateWithArtistInfo(artist, tracks,
                                                                    got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(got.values(),
            std::make_tuple(true, std::optional<std::string>(), std::optional<std::string>()));
  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "artist_top_track_mix/update");
  EXPECT_EQ(request.unsignedFields(),
            (std::map<std::string, std::string>{
                {"mix", MRAPIArtistTopTrackMix::serializeIntoJSONFromArtistInfo(artist, tracks)}}));
}

}  // namespace
}  // namespace mr
