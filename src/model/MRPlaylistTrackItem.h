// One track of a mix, with the places its preview can be played from. Two
// items with the same title and artist (ignoring case and blanks) are the
// same track.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MRPreviewDataSource.h"

namespace mr {

class MRPlaylistTrackItem {
 public:
  virtual ~MRPlaylistTrackItem() = default;

  std::string artist;
  std::string title;
  std::string imageUrl;
  std::string cachedImageUrl;  // the favorite's local artwork copy, else empty
  // Builders replace the whole set rather than change a shared one.
  std::vector<MRPreviewDataSource> previewDataSourceSet;

  const MRPreviewDataSource* previewDataSourceForSourceId(MRPreviewSourceID sourceID) const;
  const MRPreviewDataSource* iTunesPreviewDataSource() const {
    return previewDataSourceForSourceId(MRPreviewSourceIDITunes);
  }
  const MRPreviewDataSource* youTubePreviewDataSource() const {
    return previewDataSourceForSourceId(MRPreviewSourceIDYouTube);
  }
  const MRPreviewDataSource* localCachePreviewDataSource() const {
    return previewDataSourceForSourceId(MRPreviewSourceIDLocalCache);
  }
  // What the players play: a cached file first, then a resolved video, then
  // an iTunes or SoundCloud preview; nullptr when nothing is playable.
  const MRPreviewDataSource* playablePreviewDataSource() const;
  size_t numberOfAvailablePreviewData() const;
};

class MRRecommendMixTrackItem final : public MRPlaylistTrackItem {
 public:
  std::string itemHash;
  std::string sourceAlbum;
  std::string sourceArtist;
  std::string sourceTitle;
  std::string genreName;
};

class MRFavoriteTrackMixTrackItem final : public MRPlaylistTrackItem {
 public:
  std::optional<Date> favoritedAt;

  bool hasLocalCache() const { return localCachePreviewDataSource() != nullptr; }
  // Drops every local-cache source from the set (the stored records are the
  // favorites' business).
  void removeLocalCache();
};

class MRHistoryMixTrackItem final : public MRPlaylistTrackItem {
 public:
  std::optional<Date> playedAt;
};

class MRNewReleaseMixTrackItem final : public MRPlaylistTrackItem {
 public:
  std::string album;
  std::optional<Date> releaseDate;
};

}  // namespace mr
