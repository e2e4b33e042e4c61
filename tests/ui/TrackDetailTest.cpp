// The track detail pane: the metadata and comment lists the page gets, the
// requests behind them, and following the player.
#include <gtest/gtest.h>

#include "ui/UiWorld.h"

namespace mr {
namespace {

struct TrackDetailTest : test::UiWorld {
  MRTrackDetailViewController& detail() { return window->trackDetailViewController(); }
};

Value videoComment(const std::string& author, const std::string& text) {
  return Value(Dictionary{
      {"author", Value(Array{Value(Dictionary{{"name", Value(Dictionary{{"$t", Value(author)}})}})})},
      {"content", Value(Dictionary{{"$t", Value(text)}})}});
}

TEST(TrackDetailMetaDataTest, LinksAndMissingFields) {
  AppConfig config;
  config.affiliatePrefix = "https://go.test/?u=";
  config.shoppingSearchUrl = "https://shop.test/s?k=";
  auto item = test::playableItem("Song & Dance", "The Band");
  MRPreviewDataSource video;
  video.sourceID = MRPreviewSourceIDYouTube;
  auto info = std::make_shared<MRYouTubeAdditionalInfo>();
  info->setLink("https://video.test/watch?v=abc");
  info->setVideoID("abc");
  video.additionalInfo = info;
  item->previewDataSourceSet.push_back(video);
  LastfmArtist artist;
  artist.name = "The Band";
  artist.url = "https://last.test/music/The+Band";
  artist.bioSummary = "A band.";
  EXPECT_EQ(toJson(MRTrackDetailViewController::metaData(*item, artist, config)),
            R"({"artistName":"The Band","trackTitle":"Song & Dance",)"
            R"("artworkUrl":"http://art.test/song&dance.jpg","profile":"A band.",)"
            R"("link":{"iTunesStore":"https://go.test/?u=https%3A%2F%2Fstore.test%2Ftrack%3Fid%3D1%26x%3Dsong%26dance",)"
            R"("youTubeVideo":"https://video.test/watch?v=abc","lastfm":"https://last.test/music/The+Band",)"
            R"("amazonSearch":"https://shop.test/s?k=Song%20%26%20Dance%20The%20Band"}})");

  // No sources, no artist facts.
  MRPlaylistTrackItem bare;
  bare.title = "T";
  EXPECT_EQ(toJson(MRTrackDetailViewController::metaData(bare, LastfmArtist(), config)),
            R"({"artistName":"","trackTitle":"T","artworkUrl":"","profile":"",)"
            R"("link":{"iTunesStore":null,"youTubeVideo":null,"lastfm":"",)"
            R"("amazonSearch":"https://shop.test/s?k=T%20"}})");
}

TEST(TrackDetailMetaDataTest, LengthAsThePageCountsIt) {
  EXPECT_EQ(utf16Length("abc"), 3u);
  EXPECT_EQ(utf16Length("日本"), 2u);
  EXPECT_EQ(utf16Length("\xF0\x9F\x8E\xB5"), 2u);  // beyond the basic plane
}

TEST_F(TrackDetailTest, CommentListsLeaveOutLongAndRemovedOnes) {
  openWindow();
  page.clear();
  const std::string ninetyNine(99, 'a');
  const std::string hundred(100, 'b');
  YouTubeVideoCommentEntry entry(Value(Dictionary{
      {"feed", Value(Dictionary{{"entry", Value(Array{videoComment("Ann", ninetyNine),
                                                      videoComment("Bob", hundred)})}})}}));
  ASSERT_TRUE(entry.comments);
  detail().showYouTubeComments(*entry.comments);
  EXPECT_EQ(page.last("detail", "app.setCommentsOnYouTube"),
            R"(app.setCommentsOnYouTube([{"name":"Ann","text":")" + ninetyNine + R"("}]);)");

  MRTrackDocument track(Value(Dictionary{
      {"comments",
       Value(Array{Value(Dictionary{{"comment", Value("Kept")},
                                    {"createdBy", Value(Dictionary{{"aname", Value("carol")}})}}),
                   Value(Dictionary{{"comment", Value("Gone")},
                                    {"removed", Value(true)},
                                    {"createdBy", Value(Dictionary{{"aname", Value("dave")}})}})})}}));
  detail().showMireluneComments(track);
  EXPECT_EQ(page.last("detail", "app.setCommentsOnMirelune"),
            R"(app.setCommentsOnMirelune([{"name":"carol","text":"Kept"}]);)");

  // A reloaded page gets them again.
  page.clear();
  page.load("detail");
  EXPECT_EQ(page.scripts("detail").size(), 2u);
}

TEST_F(TrackDetailTest, ATrackShownAsksForItsArtistAndComments) {
  openWindow();
  const auto& catalogue = sandbox.server().catalogue();
  const auto& track = catalogue.tracks().front();
  auto item = test::playableItem(track.title, catalogue.artists()[static_cast<size_t>(track.artist)].name);
  detail().retrieveArtistInfoForTrackItem(item);
  EXPECT_TRUE(detail().isRetrievingArtistInfo());
  EXPECT_EQ(page.last("main", "app.setDetailLoading"), "app.setDetailLoading(true)");
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return !detail().isRetrievingArtistInfo() && !detail().isRetrievingComments(); }));
  EXPECT_EQ(page.last("main", "app.setDetailLoading"), "app.setDetailLoading(false)");
  ASSERT_TRUE(detail().artistInfo());
  const std::string meta = page.last("detail", "app.setMetaData(");
  EXPECT_EQ(meta, "app.setMetaData(" +
                      toJson(MRTrackDetailViewController::metaData(*item, *detail().artistInfo(),
                                                                   testEnv.env().config())) +
                      ");");
  EXPECT_NE(meta.find(R"("artistName":")" + item->artist), std::string::npos) << meta;
  EXPECT_FALSE(sandbox.server().recordedRequests("/track/get").empty());

  // A link followed in the page opens in the browser.
  page.navigate("detail", "https://last.test/music/x");
  EXPECT_EQ(browsed, std::vector<std::string>{"https://last.test/music/x"});
}

TEST_F(TrackDetailTest, ANewTrackReplacesTheRequestsOfThePreviousOne) {
  openWindow();
  const auto& catalogue = sandbox.server().catalogue();
  auto first = test::playableItem("A", catalogue.artists()[0].name);
  auto second = test::playableItem("B", catalogue.artists()[1].name);
  detail().retrieveArtistInfoForTrackItem(first);
  detail().retrieveArtistInfoForTrackItem(second);
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return !detail().isRetrievingArtistInfo() && !detail().isRetrievingComments(); }));
  testEnv.pumpUntil([&] { return network->operationCount() == 0; });
  pump();
  for (const auto& script : page.scripts("detail")) {
    EXPECT_EQ(script.find(R"("trackTitle":"A")"), std::string::npos) << script;
  }
  EXPECT_NE(page.last("detail", "app.setMetaData").find(R"("trackTitle":"B")"), std::string::npos);
}

TEST_F(TrackDetailTest, AutoloadFollowsThePlayer) {
  openWindow();
  auto mix = std::make_shared<test::ListMix>();
  mix->add(test::playableItem("First", sandbox.server().catalogue().artists()[0].name));
  player->setPlaylist(mix);
  ASSERT_TRUE(player->play());
  pump();
  EXPECT_FALSE(detail().trackItem());  // autoload off: the page stays
  player->stop();
  pump();
  detail().setAutoloadOnPlay(true);
  ASSERT_TRUE(player->play());
  pump();
  ASSERT_TRUE(detail().trackItem());
  EXPECT_EQ(detail().trackItem()->title, "First");
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !detail().isRetrievingArtistInfo(); }));
}

}  // namespace
}  // namespace mr
