// Seeds of recommendation: tracks waiting to be expanded, and those used.
#pragma once

#include <set>

#include "store/CDEntityController.h"

namespace mr {

class CDTrackRecommendationQueueItem final : public Record {
 public:
  enum Column { kTitle, kAlbum, kArtist, kItemHash, kPriority, kIsUserTrack };
  static const EntityInfo& entityInfo();
  CDTrackRecommendationQueueItem(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> album() const { return text(kAlbum); }
  void setAlbum(const std::optional<std::string>& v) { set(kAlbum, toSql(v)); }
  std::optional<std::string> artist() const { return text(kArtist); }
  void setArtist(const std::optional<std::string>& v) { set(kArtist, toSql(v)); }
  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  // Higher is taken first.
  std::optional<int64_t> priority() const { return integer(kPriority); }
  void setPriority(const std::optional<int64_t>& v) { set(kPriority, toSql(v)); }
  // A seed from the listener's library or named artists, rather than from
  // favorites, history or earlier recommendations.
  std::optional<bool> isUserTrack() const { return boolean(kIsUserTrack); }
  void setIsUserTrack(const std::optional<bool>& v) { set(kIsUserTrack, toSql(v)); }
};

class CDTrackRecommendationQueueEntityController final
    : public CDTypedEntityController<CDTrackRecommendationQueueItem> {
 public:
  using CDTypedEntityController::CDTypedEntityController;

  // No duplicate check: the caller looks first.
  std::shared_ptr<CDTrackRecommendationQueueItem> enqueueTrackForRecommendationWithTitle(
      const std::string& title, const std::string& album, const std::string& artist,
      int64_t priority, bool isUserTrack);
  // The `count` items of highest priority.
  // The first `count` by priority, passing over the row ids in `skipped`.
  std::vector<std::shared_ptr<CDTrackRecommendationQueueItem>> retrieveWithCount(
      int64_t count, const std::set<int64_t>& skipped) const;
  std::vector<std::shared_ptr<CDTrackRecommendationQueueItem>> retrieveWithCount(
      int64_t count) const;
  std::shared_ptr<CDTrackRecommendationQueueItem> findWithItemHash(
      const std::string& itemHash) const;
};

class CDTrackUsedForRecommendation final : public Record {
 public:
  enum Column { kTitle, kAlbum, kArtist, kItemHash, kArtistItemHash };
  static const EntityInfo& entityInfo();
  CDTrackUsedForRecommendation(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> title() const { return text(kTitle); }
  void setTitle(const std::optional<std::string>& v) { set(kTitle, toSql(v)); }
  std::optional<std::string> album() const { return text(kAlbum); }
  void setAlbum(const std::optional<std::string>& v) { set(kAlbum, toSql(v)); }
  std::optional<std::string> artist() const { return text(kArtist); }
  void setArtist(const std::optional<std::string>& v) { set(kArtist, toSql(v)); }
  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> artistItemHash() const { return text(kArtistItemHash); }
  void setArtistItemHash(const std::optional<std::string>& v) { set(kArtistItemHash, toSql(v)); }
};

class CDTrackUsedForRecommendationEntityController final
    : public CDTypedEntityController<CDTrackUsedForRecommendation> {
 public:
  using CDTypedEntityController::CDTypedEntityController;

  std::shared_ptr<CDTrackUsedForRecommendation> insertNewObjectWithTrackRecommendationQueueItem(
      const CDTrackRecommendationQueueItem& item);
  // By title and artist: the album does not count.
  bool isAlreadyRecommendedWithTitle(const std::string& title, const std::string& album,
                                     const std::string& artist) const;
  std::shared_ptr<CDTrackUsedForRecommendation> findWithItemHash(const std::string& itemHash) const;
  bool entryExistsWithArtistItemHash(const std::string& artistItemHash) const;
};

}  // namespace mr
