#include "store/CDRecommendTrack.h"

#include "store/CDFavoriteTrack.h"
#include "model/CDUtility.h"

namespace mr {

const EntityInfo& CDRecommendTrack::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("RecommendTrack", {{"itemHash", ColumnKind::Text},
                                                  {"title", ColumnKind::Text},
                                                  {"imageUrl", ColumnKind::Text},
                                                  {"primaryGenreName", ColumnKind::Text},
                                                  {"wtid", ColumnKind::Text},
                                                  {"sourceTitle", ColumnKind::Text},
                                                  {"sourceAlbum", ColumnKind::Text},
                                                  {"sourceArtist", ColumnKind::Text},
                                                  {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

std::vector<std::shared_ptr<CDPreviewDataSource>> CDRecommendTrack::previewDataSourceSet() const {
  return toMany<CDPreviewDataSource>("recommendTrack");
}

void CDRecommendTrack::setPreviewDataSourceSet(
    const std::vector<std::shared_ptr<CDPreviewDataSource>>& sources) {
  setToMany(CDPreviewDataSource::entityInfo(), "recommendTrack", recordPointers(sources));
}

void CDRecommendTrack::addPreviewDataSourceSetObject(const CDPreviewDataSource& source) {
  addToMany(CDPreviewDataSource::entityInfo(), "recommendTrack", source);
}

void CDRecommendTrack::assignToRecommendMixTrackItem(MRRecommendMixTrackItem& item) const {
  const auto stored = artist();
  item.artist = stored ? stored->name().value_or("") : "";
  item.title = title().value_or("");
  item.imageUrl = imageUrl().value_or("");
  item.previewDataSourceSet.clear();
  // A recommendation never has a cached file, so no cache folder applies.
  for (const auto& source : previewDataSourceSet()) {
    item.previewDataSourceSet.push_back(previewDataSourceWithManagedObject(*source, ""));
  }
  item.itemHash = itemHash().value_or("");
  item.sourceTitle = sourceTitle().value_or("");
  item.sourceAlbum = sourceAlbum().value_or("");
  item.sourceArtist = sourceArtist().value_or("");
  item.genreName = primaryGenreName().value_or("");
}

std::string CDRecommendTrackEntityController::calcItemHashWithTrack(const CDRecommendTrack& track) {
  const auto artist = track.artist();
  const auto name = artist ? artist->name() : std::nullopt;
  return CDUtility::itemHashWithTitle(track.title().value_or(""), name.value_or(""));
}

std::shared_ptr<CDRecommendTrack> CDRecommendTrackEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

std::vector<std::shared_ptr<CDRecommendTrack>>
CDRecommendTrackEntityController::findRandomlyWithPredicate(const std::string& where,
                                                            const std::vector<SqlValue>& parameters,
                                                            size_t count) const {
  // One query that SQLite shuffles: every match can be picked, so a small
  // genre gives all of its tracks rather than what repeated draws hit.
  std::string distinct = "\"id\" IN (SELECT min(\"id\") FROM \"RecommendTrack\"";
  if (!where.empty()) distinct += " WHERE " + where;
  distinct += " GROUP BY \"itemHash\")";
  return findWhere(distinct, parameters, "random()", static_cast<int64_t>(count));
}

std::vector<std::shared_ptr<CDRecommendTrack>> CDRecommendTrackEntityController::findWithGenre(
    const std::string& genre, size_t limit) const {
  if (genre.empty()) return findRandomlyWithPredicate({}, {}, limit);
  return findRandomlyWithPredicate("\"primaryGenreName\" = ?", {genre}, limit);
}

std::vector<std::shared_ptr<CDRecommendTrack>> CDRecommendTrackEntityController::findWithGenreTag(
    const std::string& tag, size_t limit) const {
  if (tag.empty()) return findRandomlyWithPredicate({}, {}, limit);
  return findRandomlyWithPredicate(
      "\"artist\" IN (SELECT \"artist\" FROM \"GenreTag\" WHERE \"tag\" = ?)", {tag}, limit);
}

void CDRecommendTrackEntityController::deleteWithItemHash(const std::string& itemHash) {
  if (auto track = findWithItemHash(itemHash)) deleteObject(*track);
}

Status CDRecommendTrackEntityController::deleteWithArtistName(const std::string& name) {
  const auto tracks =
      findWhere("\"artist\" IN (SELECT \"id\" FROM \"Artist\" WHERE \"name\" = ?)", {name});
  for (const auto& track : tracks)
    deleteObject(*track);
  return tracks.empty() ? Status() : save();
}

const EntityInfo& CDPreviewDataSource::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("PreviewDataSource",
                               {{"sourceID", ColumnKind::Integer},
                                {"previewUrl", ColumnKind::Text},
                                {"additionalInfo", ColumnKind::Blob},
                                {"locatedAt", ColumnKind::Date},
                                {"recommendTrack", ColumnKind::ToOne, "RecommendTrack"},
                                {"playedTrackHistory", ColumnKind::ToOne, "PlayHistoryTrack"},
                                {"favoriteTrack", ColumnKind::ToOne, "FavoriteTrack"}});
  return info;
}

std::shared_ptr<CDPlayHistoryTrack> CDPreviewDataSource::playedTrackHistory() const {
  return toOne<CDPlayHistoryTrack>(kPlayedTrackHistory);
}

void CDPreviewDataSource::setPlayedTrackHistory(const CDPlayHistoryTrack* track) {
  setToOne(kPlayedTrackHistory, track);
}

std::shared_ptr<CDFavoriteTrack> CDPreviewDataSource::favoriteTrack() const {
  return toOne<CDFavoriteTrack>(kFavoriteTrack);
}

void CDPreviewDataSource::setFavoriteTrack(const CDFavoriteTrack* track) {
  setToOne(kFavoriteTrack, track);
}

}  // namespace mr
