// Recommended tracks and the stored preview sources of tracks.
#pragma once

#include "model/MRPlaylistTrackItem.h"
#include "store/CDArtist.h"

namespace mr {

class CDPreviewDataSource;
class CDPlayHistoryTrack;
class CDFavoriteTrack;

class CDRecommendTrack final : public Record {
 public:
  enum Column {
    kItemHash,
    kTitle,
    kImageUrl,
    kPrimaryGenreName,
    kWtid,
    kSourceTitle,
    kSourceAlbum,
    kSourceArtist,
    kArtist,
  };
  static const EntityInfo& entityInfo();
  CDRecommendTrack(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> imageUrl() const { return text(kImageUrl); }
  void setImageUrl(const std::optional<std::string>& v) { set(kImageUrl, toSql(v)); }
  std::optional<std::string> primaryGenreName() const { return text(kPrimaryGenreName); }
  void setPrimaryGenreName(const std::optional<std::string>& v) {
    set(kPrimaryGenreName, toSql(v));
  }
  std::optional<std::string> wtid() const { return text(kWtid); }
  void setWtid(const std::optional<std::string>& v) { set(kWtid, toSql(v)); }
  std::optional<std::string> sourceTitle() const { return text(kSourceTitle); }
  void setSourceTitle(const std::optional<std::string>& v) { set(kSourceTitle, toSql(v)); }
  std::optional<std::string> sourceAlbum() const { return text(kSourceAlbum); }
  void setSourceAlbum(const std::optional<std::string>& v) { set(kSourceAlbum, toSql(v)); }
  std::optional<std::string> sourceArtist() const { return text(kSourceArtist); }
  void setSourceArtist(const std::optional<std::string>& v) { set(kSourceArtist, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  void setArtist(const CDArtist* artist) { setToOne(kArtist, artist); }

  std::vector<std::shared_ptr<CDPreviewDataSource>> previewDataSourceSet() const;
  void setPreviewDataSourceSet(const std::vector<std::shared_ptr<CDPreviewDataSource>>& sources);
  void addPreviewDataSourceSetObject(const CDPreviewDataSource& source);

  // The recommend mix's item of this record, with its stored sources.
  void assignToRecommendMixTrackItem(MRRecommendMixTrackItem& item) const;
};

class CDRecommendTrackEntityController final : public CDTypedEntityController<CDRecommendTrack> {
 public:
  using CDTypedEntityController::CDTypedEntityController;

  // The title and artist hash of the record's title and its artist's name.
  static std::string calcItemHashWithTrack(const CDRecommendTrack& track);
  std::shared_ptr<CDRecommendTrack> findWithItemHash(const std::string& itemHash) const;
  // Up to `count` random records matching `where` (SQL over RecommendTrack;
  // empty for all), distinct by item hash; empty when none was found.
  std::vector<std::shared_ptr<CDRecommendTrack>> findRandomlyWithPredicate(
      const std::string& where, const std::vector<SqlValue>& parameters, size_t count) const;
  // Random picks of that iTunes genre; of all when the genre is empty.
  std::vector<std::shared_ptr<CDRecommendTrack>> findWithGenre(const std::string& genre,
                                                               size_t limit) const;
  // Random picks whose artist carries the tag; of all when the tag is empty.
  std::vector<std::shared_ptr<CDRecommendTrack>> findWithGenreTag(const std::string& tag,
                                                                  size_t limit) const;
  // Deletes; the caller saves.
  void deleteWithItemHash(const std::string& itemHash);
  // Deletes every track of the artist, and saves when there was one.
  Status deleteWithArtistName(const std::string& name);
};

class CDPreviewDataSource final : public Record {
 public:
  enum Column {
    kSourceID,
    kPreviewUrl,
    kAdditionalInfo,
    kLocatedAt,
    kRecommendTrack,
    kPlayedTrackHistory,
    kFavoriteTrack,
  };
  static const EntityInfo& entityInfo();
  CDPreviewDataSource(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<int64_t> sourceID() const { return integer(kSourceID); }
  void setSourceID(const std::optional<int64_t>& v) { set(kSourceID, toSql(v)); }
  std::optional<std::string> previewUrl() const { return text(kPreviewUrl); }
  void setPreviewUrl(const std::optional<std::string>& v) { set(kPreviewUrl, toSql(v)); }
  std::optional<Bytes> additionalInfo() const { return blob(kAdditionalInfo); }
  void setAdditionalInfo(const std::optional<Bytes>& v) { set(kAdditionalInfo, toSql(v)); }
  std::optional<Date> locatedAt() const { return date(kLocatedAt); }
  void setLocatedAt(const std::optional<Date>& v) { set(kLocatedAt, toSql(v)); }
  std::shared_ptr<CDRecommendTrack> recommendTrack() const {
    return toOne<CDRecommendTrack>(kRecommendTrack);
  }
  void setRecommendTrack(const CDRecommendTrack* track) { setToOne(kRecommendTrack, track); }
  std::shared_ptr<CDPlayHistoryTrack> playedTrackHistory() const;
  void setPlayedTrackHistory(const CDPlayHistoryTrack* track);
  std::shared_ptr<CDFavoriteTrack> favoriteTrack() const;
  void setFavoriteTrack(const CDFavoriteTrack* track);
};

class CDPreviewDataSourceEntityController final
    : public CDTypedEntityController<CDPreviewDataSource> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
};

}  // namespace mr
