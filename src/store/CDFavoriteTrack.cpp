#include "store/CDFavoriteTrack.h"

#include <unistd.h>

#include "model/CDUtility.h"

namespace mr {

const EntityInfo& CDFavoriteTrack::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("FavoriteTrack", {{"itemHash", ColumnKind::Text},
                                                 {"title", ColumnKind::Text},
                                                 {"artist", ColumnKind::Text},
                                                 {"imageUrl", ColumnKind::Text},
                                                 {"cachedImageUrl", ColumnKind::Text},
                                                 {"waid", ColumnKind::Text},
                                                 {"wtid", ColumnKind::Text},
                                                 {"favoritedAt", ColumnKind::Date}});
  return info;
}

std::vector<std::shared_ptr<CDPreviewDataSource>> CDFavoriteTrack::previewDataSourceSet() const {
  return toMany<CDPreviewDataSource>("favoriteTrack");
}

void CDFavoriteTrack::addPreviewDataSourceSetObject(const CDPreviewDataSource& source) {
  addToMany(CDPreviewDataSource::entityInfo(), "favoriteTrack", source);
}

void CDFavoriteTrack::removePreviewDataSourceSetObject(const CDPreviewDataSource& source) {
  removeFromMany(CDPreviewDataSource::entityInfo(), "favoriteTrack", source);
}

std::shared_ptr<CDPreviewDataSource> CDFavoriteTrack::localCachePreviewDataSource() const {
  for (auto& source : previewDataSourceSet()) {
    if (source->sourceID() == MRPreviewSourceIDLocalCache) return source;
  }
  return nullptr;
}

std::shared_ptr<CDPreviewDataSource> CDFavoriteTrack::deleteLocalCacheFileWithTrack(
    const CDFavoriteTrack& track, const std::string& cacheFolder) {
  auto source = track.localCachePreviewDataSource();
  if (!source) return nullptr;
  const std::string url =
      MRPreviewDataSource::localCacheUrl(cacheFolder, source->previewUrl().value_or(""));
  ::unlink(pathOfFileUrl(url).c_str());
  return source;
}

void CDFavoriteTrack::deleteLocalCacheWithTrack(CDFavoriteTrack& track,
                                                const std::string& cacheFolder) {
  if (auto source = deleteLocalCacheFileWithTrack(track, cacheFolder)) {
    track.removePreviewDataSourceSetObject(*source);
  }
}

void CDFavoriteTrack::assignToPlaylistTrackItem(MRFavoriteTrackMixTrackItem& item,
                                                const std::string& cacheFolder) const {
  item.artist = artist().value_or("");
  item.title = title().value_or("");
  item.imageUrl = imageUrl().value_or("");
  item.cachedImageUrl = cachedImageUrl().value_or("");
  item.favoritedAt = favoritedAt();
  item.previewDataSourceSet.clear();
  for (const auto& source : previewDataSourceSet()) {
    item.previewDataSourceSet.push_back(previewDataSourceWithManagedObject(*source, cacheFolder));
  }
}

std::vector<std::shared_ptr<CDFavoriteTrack>>
CDFavoriteTrackEntityController::findNewerTracksWithCount(int64_t count) const {
  return findWhere({}, {}, "\"favoritedAt\" DESC", count);
}

std::shared_ptr<CDFavoriteTrack> CDFavoriteTrackEntityController::findOneWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

std::shared_ptr<CDFavoriteTrack> CDFavoriteTrackEntityController::findOneWithArtist(
    const std::string& artist, const std::string& title) const {
  return findOneWithItemHash(CDUtility::itemHashWithTitle(title, artist));
}

void CDFavoriteTrackEntityController::removeOneWithItemHash(const std::string& itemHash) {
  if (auto favorite = findOneWithItemHash(itemHash)) deleteObject(*favorite);
}

std::vector<std::shared_ptr<CDFavoriteTrack>> CDFavoriteTrackEntityController::findWithArtist(
    const std::string& artist) const {
  return findWhere("\"artist\" = ?", {artist}, "\"favoritedAt\" DESC");
}

std::vector<std::string> CDFavoriteTrackEntityController::artists() const {
  if (!context_) return {};
  std::vector<std::string> names;
  for (const auto& row : context_->query(
           "SELECT \"artist\" FROM \"FavoriteTrack\" GROUP BY \"artist\" ORDER BY \"artist\"")) {
    if (auto name = textOf(row[0])) names.push_back(*name);
  }
  return names;
}

Result<std::shared_ptr<CDFavoriteTrack>> CDFavoriteTrackEntityController::addWithPlaylistTrack(
    const MRPlaylistTrackItem& item, Date now) {
  if (!context_) return Error(kStoreErrorDomain, 1000, "the store is not open");
  auto favorite = context_->insert<CDFavoriteTrack>(
      {CDUtility::itemHashWithTitle(item.title, item.artist), item.title, item.artist,
       item.imageUrl, SqlValue(), SqlValue(), SqlValue(), now.secondsSince1970});
  for (const auto& source : item.previewDataSourceSet) {
    auto record = context_->insert<CDPreviewDataSource>();
    assignPreviewDataSourceToManagedObject(source, *record);
    record->setFavoriteTrack(favorite.get());
  }
  if (Status saved = save(); !saved.ok()) return saved.error();
  return favorite;
}

const EntityInfo& CDPlayHistoryTrack::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("PlayHistoryTrack", {{"itemHash", ColumnKind::Text},
                                                    {"title", ColumnKind::Text},
                                                    {"artist", ColumnKind::Text},
                                                    {"imageUrl", ColumnKind::Text},
                                                    {"waid", ColumnKind::Text},
                                                    {"wtid", ColumnKind::Text},
                                                    {"playedAt", ColumnKind::Date}});
  return info;
}

std::vector<std::shared_ptr<CDPreviewDataSource>> CDPlayHistoryTrack::previewDataSourceSet() const {
  return toMany<CDPreviewDataSource>("playedTrackHistory");
}

void CDPlayHistoryTrack::addPreviewDataSourceSetObject(const CDPreviewDataSource& source) {
  addToMany(CDPreviewDataSource::entityInfo(), "playedTrackHistory", source);
}

std::vector<std::shared_ptr<CDPlayHistoryTrack>>
CDPlayHistoryTrackEntityController::findNewerTracksWithCount(int64_t count) const {
  return findWhere({}, {}, "\"playedAt\" DESC", count);
}

std::shared_ptr<CDPlayHistoryTrack> CDPlayHistoryTrackEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

MRPreviewDataSource previewDataSourceWithManagedObject(const CDPreviewDataSource& record,
                                                       const std::string& cacheFolder) {
  MRPreviewDataSource source;
  source.sourceID = static_cast<MRPreviewSourceID>(record.sourceID().value_or(0));
  source.previewUrl = record.previewUrl();
  if (source.sourceID == MRPreviewSourceIDLocalCache && source.previewUrl) {
    source.previewUrl = MRPreviewDataSource::localCacheUrl(cacheFolder, *source.previewUrl);
  }
  source.locatedAt = record.locatedAt();
  if (auto blob = record.additionalInfo()) {
    source.additionalInfo = MRPreviewDataSource::additionalInfoFromData(source.sourceID, *blob);
  }
  return source;
}

void assignPreviewDataSourceToManagedObject(const MRPreviewDataSource& source,
                                            CDPreviewDataSource& record) {
  record.setPreviewUrl(source.previewUrl);
  record.setSourceID(int64_t{source.sourceID});
  record.setAdditionalInfo(source.additionalInfo
                               ? std::optional<Bytes>(source.additionalInfo->serialize())
                               : std::nullopt);
  record.setLocatedAt(source.locatedAt);
}

std::string pathOfFileUrl(const std::string& url) {
  for (const char* prefix : {"file://localhost", "file://"}) {
    const std::string_view p(prefix);
    if (url.compare(0, p.size(), p) == 0) return url.substr(p.size());
  }
  return url;
}

}  // namespace mr
