// Releases found by the new-release check, and when each artist was checked.
#pragma once

#include "base/Date.h"
#include "store/CDArtist.h"

namespace mr {

class CDNewRelease final : public Record {
 public:
  enum Column { kItemHash, kTitle, kImageUrl, kReleaseDate, kTrackCount, kCollectionId, kArtist };
  static const EntityInfo& entityInfo();
  CDNewRelease(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> imageUrl() const { return text(kImageUrl); }
  void setImageUrl(const std::optional<std::string>& v) { set(kImageUrl, toSql(v)); }
  std::optional<Date> releaseDate() const { return date(kReleaseDate); }
  void setReleaseDate(const std::optional<Date>& v) { set(kReleaseDate, toSql(v)); }
  std::optional<int64_t> trackCount() const { return integer(kTrackCount); }
  void setTrackCount(const std::optional<int64_t>& v) { set(kTrackCount, toSql(v)); }
  std::optional<int64_t> collectionId() const { return integer(kCollectionId); }
  void setCollectionId(const std::optional<int64_t>& v) { set(kCollectionId, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  void setArtist(const CDArtist* artist) { setToOne(kArtist, artist); }
};

class CDNewReleaseEntityController final : public CDTypedEntityController<CDNewRelease> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  bool existsWithTitle(const std::string& title, const std::string& artist) const;
  // The `count` latest releases.
  std::vector<std::shared_ptr<CDNewRelease>> findNewerTracksWithCount(int64_t count) const;
};

class CDNewReleaseCheckHistory final : public Record {
 public:
  enum Column { kItemHash, kArtistName, kLastCheckedDate };
  static const EntityInfo& entityInfo();
  CDNewReleaseCheckHistory(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> artistName() const { return text(kArtistName); }
  void setArtistName(const std::optional<std::string>& v) { set(kArtistName, toSql(v)); }
  std::optional<Date> lastCheckedDate() const { return date(kLastCheckedDate); }
  void setLastCheckedDate(const std::optional<Date>& v) { set(kLastCheckedDate, toSql(v)); }
};

class CDNewReleaseCheckHistoryEntityController final
    : public CDTypedEntityController<CDNewReleaseCheckHistory> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  // Checked `now`.
  std::shared_ptr<CDNewReleaseCheckHistory> insertNewObjectWithArtistName(
      const std::string& name, Date now);
  std::shared_ptr<CDNewReleaseCheckHistory> findWithArtistName(const std::string& name) const;
};

}  // namespace mr
