// Favorites and the playback history, each with its own preview sources.
#pragma once

#include "base/Date.h"
#include "model/MRPlaylistTrackItem.h"
#include "store/CDRecommendTrack.h"

namespace mr {

class CDFavoriteTrack final : public Record {
 public:
  enum Column {
    kItemHash,
    kTitle,
    kArtist,
    kImageUrl,
    kCachedImageUrl,
    kWaid,
    kWtid,
    kFavoritedAt
  };
  static const EntityInfo& entityInfo();
  CDFavoriteTrack(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> artist() const { return text(kArtist); }
  void setArtist(const std::optional<std::string>& v) { set(kArtist, toSql(v)); }
  std::optional<std::string> imageUrl() const { return text(kImageUrl); }
  void setImageUrl(const std::optional<std::string>& v) { set(kImageUrl, toSql(v)); }
  std::optional<std::string> cachedImageUrl() const { return text(kCachedImageUrl); }
  void setCachedImageUrl(const std::optional<std::string>& v) { set(kCachedImageUrl, toSql(v)); }
  std::optional<std::string> waid() const { return text(kWaid); }
  void setWaid(const std::optional<std::string>& v) { set(kWaid, toSql(v)); }
  std::optional<std::string> wtid() const { return text(kWtid); }
  void setWtid(const std::optional<std::string>& v) { set(kWtid, toSql(v)); }
  std::optional<Date> favoritedAt() const { return date(kFavoritedAt); }
  void setFavoritedAt(const std::optional<Date>& v) { set(kFavoritedAt, toSql(v)); }

  std::vector<std::shared_ptr<CDPreviewDataSource>> previewDataSourceSet() const;
  void addPreviewDataSourceSetObject(const CDPreviewDataSource& source);
  void removePreviewDataSourceSetObject(const CDPreviewDataSource& source);

  // The cached audio file's source, if any.
  std::shared_ptr<CDPreviewDataSource> localCachePreviewDataSource() const;
  // Removes the cached file (inside `cacheFolder`, whatever folder the
  // stored address names; a failure is ignored) and returns its source.
  static std::shared_ptr<CDPreviewDataSource> deleteLocalCacheFileWithTrack(
      const CDFavoriteTrack& track, const std::string& cacheFolder);
  // The same, then unlinks that source from the favorite.
  static void deleteLocalCacheWithTrack(CDFavoriteTrack& track, const std::string& cacheFolder);
  void assignToPlaylistTrackItem(MRFavoriteTrackMixTrackItem& item,
                                 const std::string& cacheFolder) const;
};

class CDFavoriteTrackEntityController final : public CDTypedEntityController<CDFavoriteTrack> {
 public:
  using CDTypedEntityController::CDTypedEntityController;

  // The `count` most recently favorited.
  std::vector<std::shared_ptr<CDFavoriteTrack>> findNewerTracksWithCount(int64_t count) const;
  std::shared_ptr<CDFavoriteTrack> findOneWithItemHash(const std::string& itemHash) const;
  std::shared_ptr<CDFavoriteTrack> findOneWithArtist(const std::string& artist,
                                                     const std::string& title) const;
  // Deletes; the caller saves.
  void removeOneWithItemHash(const std::string& itemHash);
  std::vector<std::shared_ptr<CDFavoriteTrack>> findWithArtist(const std::string& artist) const;
  // The distinct artists of all favorites, sorted.
  std::vector<std::string> artists() const;
  // A new favorite of the item with its preview sources, favorited `now`;
  // saved. It does not look for an existing favorite.
  Result<std::shared_ptr<CDFavoriteTrack>> addWithPlaylistTrack(const MRPlaylistTrackItem& item,
                                                                Date now);
};

class CDPlayHistoryTrack final : public Record {
 public:
  enum Column { kItemHash, kTitle, kArtist, kImageUrl, kWaid, kWtid, kPlayedAt };
  static const EntityInfo& entityInfo();
  CDPlayHistoryTrack(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> artist() const { return text(kArtist); }
  void setArtist(const std::optional<std::string>& v) { set(kArtist, toSql(v)); }
  std::optional<std::string> imageUrl() const { return text(kImageUrl); }
  void setImageUrl(const std::optional<std::string>& v) { set(kImageUrl, toSql(v)); }
  std::optional<std::string> waid() const { return text(kWaid); }
  void setWaid(const std::optional<std::string>& v) { set(kWaid, toSql(v)); }
  std::optional<std::string> wtid() const { return text(kWtid); }
  void setWtid(const std::optional<std::string>& v) { set(kWtid, toSql(v)); }
  std::optional<Date> playedAt() const { return date(kPlayedAt); }
  void setPlayedAt(const std::optional<Date>& v) { set(kPlayedAt, toSql(v)); }

  std::vector<std::shared_ptr<CDPreviewDataSource>> previewDataSourceSet() const;
  void addPreviewDataSourceSetObject(const CDPreviewDataSource& source);
};

class CDPlayHistoryTrackEntityController final
    : public CDTypedEntityController<CDPlayHistoryTrack> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  std::vector<std::shared_ptr<CDPlayHistoryTrack>> findNewerTracksWithCount(int64_t count) const;
  std::shared_ptr<CDPlayHistoryTrack> findWithItemHash(const std::string& itemHash) const;
};

// A stored preview source as the players use it. The address of a cached
// file is given inside `cacheFolder`, so the store survives a moved cache.
MRPreviewDataSource previewDataSourceWithManagedObject(const CDPreviewDataSource& record,
                                                       const std::string& cacheFolder);
void assignPreviewDataSourceToManagedObject(const MRPreviewDataSource& source,
                                            CDPreviewDataSource& record);
// "file://localhost/a/b" and "file:///a/b" -> "/a/b"; anything else as it is.
std::string pathOfFileUrl(const std::string& url);

}  // namespace mr
