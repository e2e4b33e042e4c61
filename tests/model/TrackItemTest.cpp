#include <gtest/gtest.h>

#include "model/MRPlaylistTrackItem.h"

namespace mr {
namespace {

MRPreviewDataSource source(MRPreviewSourceID id, std::optional<std::string> url) {
  MRPreviewDataSource made;
  made.sourceID = id;
  made.previewUrl = std::move(url);
  return made;
}

TEST(TrackItemTest, TheCachedFileThenAResolvedVideoThenTheStorePreview) {
  MRFavoriteTrackMixTrackItem item;
  EXPECT_EQ(item.playablePreviewDataSource(), nullptr);
  EXPECT_EQ(item.numberOfAvailablePreviewData(), 0u);

  // A video known only by its page does not play; the store preview does.
  item.previewDataSourceSet = {source(MRPreviewSourceIDYouTube, std::nullopt),
                               source(MRPreviewSourceIDITunes, "http://a/p.m4a")};
  EXPECT_EQ(item.playablePreviewDataSource()->sourceID, MRPreviewSourceIDITunes);
  EXPECT_EQ(item.numberOfAvailablePreviewData(), 1u);

  // A resolved video wins over the store, whichever comes first.
  item.previewDataSourceSet = {source(MRPreviewSourceIDYouTube, "http://v/s"),
                               source(MRPreviewSourceIDITunes, "http://a/p.m4a")};
  EXPECT_EQ(item.playablePreviewDataSource()->sourceID, MRPreviewSourceIDYouTube);

  // The cached file wins over everything, until it is dropped.
  item.previewDataSourceSet.push_back(
      source(MRPreviewSourceIDLocalCache, "file://localhost/c/x.m4a"));
  EXPECT_TRUE(item.hasLocalCache());
  EXPECT_EQ(item.playablePreviewDataSource()->sourceID, MRPreviewSourceIDLocalCache);
  item.removeLocalCache();
  EXPECT_FALSE(item.hasLocalCache());
  EXPECT_EQ(item.playablePreviewDataSource()->sourceID, MRPreviewSourceIDYouTube);
  EXPECT_EQ(item.previewDataSourceSet.size(), 2u);
}

TEST(TrackItemTest, ACachedFileIsFoundInTheCurrentCacheFolder) {
  EXPECT_EQ(MRPreviewDataSource::localCacheUrl("/home/me/.cache/mirelune/favorites",
                                               "/old/place/abc.m4a"),
            "file://localhost/home/me/.cache/mirelune/favorites/abc.m4a");
  EXPECT_EQ(MRPreviewDataSource::localCacheUrl("/c", "abc.m4a"), "file://localhost/c/abc.m4a");
}

TEST(TrackItemTest, StoredInfoReadsBackByItsSourceAndBadBlobsAreEmpty) {
  MRiTunesAdditionalInfo iTunes;
  iTunes.setArtworkUrl100("http://art/100x100.jpg");
  iTunes.setTrackId(123);
  iTunes.setReleaseDate(Value(Date{1234567890.0}));
  auto restored =
      MRPreviewDataSource::additionalInfoFromData(MRPreviewSourceIDITunes, iTunes.serialize());
  auto* info = dynamic_cast<MRiTunesAdditionalInfo*>(restored.get());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->trackId(), 123);
  EXPECT_EQ(info->artworkUrl(), "http://art/100x100.jpg");  // no 200-pixel one stored
  ASSERT_NE(info->releaseDate(), nullptr);
  EXPECT_EQ(info->data(), iTunes.data());

  auto broken = MRPreviewDataSource::additionalInfoFromData(MRPreviewSourceIDYouTube,
                                                            Bytes{'n', 'o', 'p', 'e'});
  auto* video = dynamic_cast<MRYouTubeAdditionalInfo*>(broken.get());
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->videoID(), "");
  EXPECT_FALSE(video->isRestricted());
}

}  // namespace
}  // namespace mr
