#include "store/Schema.h"

namespace mr {

EntityInfo::EntityInfo(const char* entityName, std::vector<ColumnInfo> entityColumns)
    : name(entityName), columns(std::move(entityColumns)), quotedName(quoted(entityName)) {
  selectList = "\"id\"";
  std::string marks;
  for (const auto& column : columns) {
    selectList += ", " + quoted(column.name);
    marks += marks.empty() ? "?" : ", ?";
    updateSql.push_back("UPDATE " + quotedName + " SET " + quoted(column.name) +
                        " = ? WHERE \"id\" = ?");
  }
  insertSql =
      "INSERT INTO " + quotedName + " (" + selectList.substr(6) + ") VALUES (" + marks + ")";
}

int EntityInfo::columnIndex(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (column == columns[i].name) return static_cast<int>(i);
  }
  return -1;
}

std::string quoted(std::string_view identifier) {
  return "\"" + std::string(identifier) + "\"";
}

namespace {

// Version 1: the tables. Relationships are foreign keys on the to-one side;
// deleting an artist leaves its records without artist, and a preview
// source goes with the track record that owns it.
const std::string kVersion1 = R"sql(
CREATE TABLE "Artist" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "name" TEXT, "waid" TEXT, "mbid" TEXT, "url" TEXT,
  "bioSummary" TEXT, "bioContent" TEXT, "imageSmall" TEXT, "imageMedium" TEXT, "imageLarge" TEXT,
  "imageExtraLarge" TEXT, "imageMega" TEXT);
CREATE TABLE "GenreTag" (
  "id" INTEGER PRIMARY KEY, "tag" TEXT,
  "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "ArtistVariant" (
  "id" INTEGER PRIMARY KEY, "name" TEXT,
  "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "ArtistBlackList" ("id" INTEGER PRIMARY KEY, "artistName" TEXT);
CREATE TABLE "UserArtist" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT,
  "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "UserTrack" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "artistName" TEXT, "albumTitle" TEXT,
  "trackTitle" TEXT);
CREATE TABLE "RecommendArtist" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "sourceArtist" TEXT,
  "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "RecommendTrack" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "title" TEXT, "imageUrl" TEXT,
  "primaryGenreName" TEXT, "wtid" TEXT, "sourceTitle" TEXT, "sourceAlbum" TEXT,
  "sourceArtist" TEXT, "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "TrackRecommendationQueue" (
  "id" INTEGER PRIMARY KEY, "title" TEXT, "album" TEXT, "artist" TEXT, "itemHash" TEXT,
  "priority" INTEGER, "isUserTrack" INTEGER);
CREATE TABLE "TrackUsedForRecommendation" (
  "id" INTEGER PRIMARY KEY, "title" TEXT, "album" TEXT, "artist" TEXT, "itemHash" TEXT,
  "artistItemHash" TEXT);
CREATE TABLE "FavoriteTrack" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "title" TEXT, "artist" TEXT, "imageUrl" TEXT,
  "cachedImageUrl" TEXT, "waid" TEXT, "wtid" TEXT, "favoritedAt" REAL);
CREATE TABLE "PlayHistoryTrack" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "title" TEXT, "artist" TEXT, "imageUrl" TEXT,
  "waid" TEXT, "wtid" TEXT, "playedAt" REAL);
CREATE TABLE "PreviewDataSource" (
  "id" INTEGER PRIMARY KEY, "sourceID" INTEGER, "previewUrl" TEXT, "additionalInfo" BLOB,
  "locatedAt" REAL,
  "recommendTrack" INTEGER REFERENCES "RecommendTrack"("id") ON DELETE CASCADE,
  "playedTrackHistory" INTEGER REFERENCES "PlayHistoryTrack"("id") ON DELETE CASCADE,
  "favoriteTrack" INTEGER REFERENCES "FavoriteTrack"("id") ON DELETE CASCADE);
CREATE TABLE "NewRelease" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "title" TEXT, "imageUrl" TEXT, "releaseDate" REAL,
  "trackCount" INTEGER, "collectionId" INTEGER,
  "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "NewReleaseCheckHistory" (
  "id" INTEGER PRIMARY KEY, "itemHash" TEXT, "artistName" TEXT, "lastCheckedDate" REAL);
CREATE TABLE "DirectMessage" (
  "id" INTEGER PRIMARY KEY, "msgId" INTEGER, "msgThreadId" INTEGER, "createdAt" REAL,
  "document" BLOB, "artist" INTEGER REFERENCES "Artist"("id") ON DELETE SET NULL);
CREATE TABLE "Notification" (
  "id" INTEGER PRIMARY KEY, "notifId" INTEGER, "createdAt" REAL, "read" INTEGER, "type" TEXT,
  "document" BLOB);
)sql";

// Version 2: indexes on every column a lookup, a filter or a sort uses, so
// the library check and the recommendation queries stay fast on large stores.
const std::string kVersion2 = R"sql(
CREATE INDEX "Artist_itemHash" ON "Artist"("itemHash");
CREATE INDEX "Artist_name" ON "Artist"("name");
CREATE INDEX "Artist_waid" ON "Artist"("waid");
CREATE INDEX "GenreTag_tag" ON "GenreTag"("tag");
CREATE INDEX "GenreTag_artist" ON "GenreTag"("artist");
CREATE INDEX "ArtistVariant_name" ON "ArtistVariant"("name");
CREATE INDEX "ArtistVariant_artist" ON "ArtistVariant"("artist");
CREATE INDEX "ArtistBlackList_artistName" ON "ArtistBlackList"("artistName");
CREATE INDEX "UserArtist_itemHash" ON "UserArtist"("itemHash");
CREATE INDEX "UserArtist_artist" ON "UserArtist"("artist");
CREATE INDEX "UserTrack_itemHash" ON "UserTrack"("itemHash");
CREATE INDEX "RecommendArtist_itemHash" ON "RecommendArtist"("itemHash");
CREATE INDEX "RecommendArtist_artist" ON "RecommendArtist"("artist");
CREATE INDEX "RecommendTrack_itemHash" ON "RecommendTrack"("itemHash");
CREATE INDEX "RecommendTrack_artist" ON "RecommendTrack"("artist");
CREATE INDEX "RecommendTrack_primaryGenreName" ON "RecommendTrack"("primaryGenreName");
CREATE INDEX "TrackRecommendationQueue_itemHash" ON "TrackRecommendationQueue"("itemHash");
CREATE INDEX "TrackRecommendationQueue_priority" ON "TrackRecommendationQueue"("priority");
CREATE INDEX "TrackUsedForRecommendation_itemHash" ON "TrackUsedForRecommendation"("itemHash");
CREATE INDEX "TrackUsedForRecommendation_artistItemHash"
  ON "TrackUsedForRecommendation"("artistItemHash");
CREATE INDEX "FavoriteTrack_itemHash" ON "FavoriteTrack"("itemHash");
CREATE INDEX "FavoriteTrack_artist" ON "FavoriteTrack"("artist");
CREATE INDEX "FavoriteTrack_favoritedAt" ON "FavoriteTrack"("favoritedAt");
CREATE INDEX "PlayHistoryTrack_itemHash" ON "PlayHistoryTrack"("itemHash");
CREATE INDEX "PlayHistoryTrack_playedAt" ON "PlayHistoryTrack"("playedAt");
CREATE INDEX "PreviewDataSource_recommendTrack" ON "PreviewDataSource"("recommendTrack");
CREATE INDEX "PreviewDataSource_playedTrackHistory" ON "PreviewDataSource"("playedTrackHistory");
CREATE INDEX "PreviewDataSource_favoriteTrack" ON "PreviewDataSource"("favoriteTrack");
CREATE INDEX "NewRelease_itemHash" ON "NewRelease"("itemHash");
CREATE INDEX "NewRelease_artist" ON "NewRelease"("artist");
CREATE INDEX "NewRelease_releaseDate" ON "NewRelease"("releaseDate");
CREATE INDEX "NewReleaseCheckHistory_itemHash" ON "NewReleaseCheckHistory"("itemHash");
CREATE INDEX "DirectMessage_msgId" ON "DirectMessage"("msgId");
CREATE INDEX "DirectMessage_createdAt" ON "DirectMessage"("createdAt");
CREATE INDEX "DirectMessage_artist" ON "DirectMessage"("artist");
CREATE INDEX "Notification_notifId" ON "Notification"("notifId");
CREATE INDEX "Notification_createdAt" ON "Notification"("createdAt");
CREATE INDEX "Notification_read" ON "Notification"("read");
)sql";

}  // namespace

const std::string& migrationTo(int to) {
  static const std::vector<const std::string*> steps = {&kVersion1, &kVersion2};
  static const std::string none;
  if (to < 1 || to > static_cast<int>(steps.size())) return none;
  return *steps[static_cast<size_t>(to - 1)];
}

}  // namespace mr
