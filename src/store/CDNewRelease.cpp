#include "store/CDNewRelease.h"

#include "model/CDUtility.h"

namespace mr {

const EntityInfo& CDNewRelease::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("NewRelease", {{"itemHash", ColumnKind::Text},
                                              {"title", ColumnKind::Text},
                                              {"imageUrl", ColumnKind::Text},
                                              {"releaseDate", ColumnKind::Date},
                                              {"trackCount", ColumnKind::Integer},
                                              {"collectionId", ColumnKind::Integer},
                                              {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

bool CDNewReleaseEntityController::existsWithTitle(const std::string& title,
                                                   const std::string& artist) const {
  return countWhere("\"itemHash\" = ?", {CDUtility::itemHashWithTitle(title, artist)}) != 0;
}

std::vector<std::shared_ptr<CDNewRelease>> CDNewReleaseEntityController::findNewerTracksWithCount(
    int64_t count) const {
  return findWhere({}, {}, "\"releaseDate\" DESC", count);
}

const EntityInfo& CDNewReleaseCheckHistory::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("NewReleaseCheckHistory", {{"itemHash", ColumnKind::Text},
                                                          {"artistName", ColumnKind::Text},
                                                          {"lastCheckedDate", ColumnKind::Date}});
  return info;
}

std::shared_ptr<CDNewReleaseCheckHistory>
CDNewReleaseCheckHistoryEntityController::insertNewObjectWithArtistName(const std::string& name,
                                                                        Date now) {
  if (!context_) return nullptr;
  return context_->insert<CDNewReleaseCheckHistory>(
      {CDUtility::artistItemHashWithArtist(name), name, now.secondsSince1970});
}

std::shared_ptr<CDNewReleaseCheckHistory>
CDNewReleaseCheckHistoryEntityController::findWithArtistName(const std::string& name) const {
  return findOneWhere("\"itemHash\" = ?", {CDUtility::artistItemHashWithArtist(name)});
}

}  // namespace mr
