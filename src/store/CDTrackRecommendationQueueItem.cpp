#include "store/CDTrackRecommendationQueueItem.h"

#include "model/CDUtility.h"

namespace mr {

const EntityInfo& CDTrackRecommendationQueueItem::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("TrackRecommendationQueue", {{"title", ColumnKind::Text},
                                                            {"album", ColumnKind::Text},
                                                            {"artist", ColumnKind::Text},
                                                            {"itemHash", ColumnKind::Text},
                                                            {"priority", ColumnKind::Integer},
                                                            {"isUserTrack", ColumnKind::Bool}});
  return info;
}

std::shared_ptr<CDTrackRecommendationQueueItem>
CDTrackRecommendationQueueEntityController::enqueueTrackForRecommendationWithTitle(
    const std::string& title, const std::string& album, const std::string& artist, int64_t priority,
    bool isUserTrack) {
  if (!context_) return nullptr;
  return context_->insert<CDTrackRecommendationQueueItem>(
      {title, album, artist, CDUtility::itemHashWithTitle(title, artist), priority,
       int64_t{isUserTrack ? 1 : 0}});
}

std::vector<std::shared_ptr<CDTrackRecommendationQueueItem>>
CDTrackRecommendationQueueEntityController::retrieveWithCount(int64_t count) const {
  return findWhere({}, {}, "\"priority\" DESC", count);
}

std::shared_ptr<CDTrackRecommendationQueueItem>
CDTrackRecommendationQueueEntityController::findWithItemHash(const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

std::vector<std::shared_ptr<CDTrackRecommendationQueueItem>>
CDTrackRecommendationQueueEntityController::retrieveWithCount(
    int64_t count, const std::set<int64_t>& skipped) const {
  auto items = findWhere({}, {}, "\"priority\" DESC, \"id\"",
                         count + static_cast<int64_t>(skipped.size()));
  std::erase_if(items, [&skipped](const auto& item) { return skipped.contains(item->objectID()); });
  if (items.size() > static_cast<size_t>(count)) items.resize(static_cast<size_t>(count));
  return items;
}

const EntityInfo& CDTrackUsedForRecommendation::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("TrackUsedForRecommendation",
                               {{"title", ColumnKind::Text},
                                {"album", ColumnKind::Text},
                                {"artist", ColumnKind::Text},
                                {"itemHash", ColumnKind::Text},
                                {"artistItemHash", ColumnKind::Text}});
  return info;
}

std::shared_ptr<CDTrackUsedForRecommendation>
CDTrackUsedForRecommendationEntityController::insertNewObjectWithTrackRecommendationQueueItem(
    const CDTrackRecommendationQueueItem& item) {
  if (!context_) return nullptr;
  const auto artist = item.artist();
  return context_->insert<CDTrackUsedForRecommendation>(
      {toSql(item.title()), toSql(item.album()), toSql(artist), toSql(item.itemHash()),
       SqlValue(CDUtility::artistItemHashWithArtist(artist.value_or("")))});
}

bool CDTrackUsedForRecommendationEntityController::isAlreadyRecommendedWithTitle(
    const std::string& title, const std::string& /*album*/, const std::string& artist) const {
  return countWhere("\"itemHash\" = ?", {CDUtility::itemHashWithTitle(title, artist)}) != 0;
}

std::shared_ptr<CDTrackUsedForRecommendation>
CDTrackUsedForRecommendationEntityController::findWithItemHash(const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

bool CDTrackUsedForRecommendationEntityController::entryExistsWithArtistItemHash(
    const std::string& artistItemHash) const {
  return countWhere("\"artistItemHash\" = ?", {artistItemHash}) != 0;
}

}  // namespace mr
