#include "sandbox/MireluneCatalog.h"

#include <charconv>
#include <utility>

#include "base/Json.h"
#include "sandbox/OvloAccounts.h"
#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
namespace {

constexpr const char* kImageKeys[] = {"imageMega",   "imageExtraLarge", "imageLarge",
                                      "imageMedium", "imageSmall",      "imageSquare"};
constexpr int64_t kBadgeStock = 1000;

std::string waidOf(int64_t id) {
  return "wa" + std::to_string(id);
}
std::string wtidOf(int64_t id) {
  return "wt" + std::to_string(id);
}

// The number after the prefix ("wa12" -> 12), or nullopt.
std::optional<int64_t> idFrom(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return std::nullopt;
  text.remove_prefix(prefix.size());
  int64_t id = 0;
  const auto parsed = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() ||
      id <= 0) {
    return std::nullopt;
  }
  return id;
}

// A JSON column read back; `fallback` when it is NULL or does not parse.
Value jsonColumn(const SqlValue& column, Value fallback) {
  const auto text = textOf(column);
  if (!text) return fallback;
  auto parsed = parseJson(*text);
  return parsed.ok() ? std::move(parsed.value()) : fallback;
}

Value strings(const Value* array) {
  Value result = Value::array();
  if (array == nullptr || !array->isArray()) return result;
  for (const Value& member : *array->asArray()) {
    if (member.isString()) result.append(member);
  }
  return result;
}

Value countValue(int64_t count) {
  Value value = Value::dictionary();
  value.set("value", Value(count));
  return value;
}

// A fan status item holding only the total.
Value statusCount(int64_t count) {
  Value item = Value::dictionary();
  item.set("all", countValue(count));
  return item;
}

Error notFound(const std::string& what) {
  return sandboxError(SandboxError::NotFound, what);
}

}  // namespace

Status MireluneCatalog::createSchema(Connection& db) {
  return db.exec(
      "CREATE TABLE IF NOT EXISTS mr_artists ("
      "  id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
      "  url TEXT NOT NULL DEFAULT '', mbid TEXT, images TEXT NOT NULL DEFAULT '{}',"
      "  tags TEXT NOT NULL DEFAULT '[]', variants TEXT NOT NULL DEFAULT '[]',"
      "  similars TEXT NOT NULL DEFAULT '[]', bio TEXT NOT NULL DEFAULT '{}',"
      "  updated_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_tracks ("
      "  id INTEGER PRIMARY KEY, artist_id INTEGER NOT NULL REFERENCES mr_artists(id),"
      "  title TEXT NOT NULL COLLATE NOCASE, artwork_url TEXT NOT NULL DEFAULT '',"
      "  previews TEXT NOT NULL DEFAULT '{}', updated_at INTEGER NOT NULL,"
      "  UNIQUE (artist_id, title));"
      "CREATE TABLE IF NOT EXISTS mr_comments ("
      "  id INTEGER PRIMARY KEY, track_id INTEGER NOT NULL REFERENCES mr_tracks(id),"
      "  aid INTEGER NOT NULL, comment TEXT NOT NULL, created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_shares ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, track_id INTEGER NOT NULL,"
      "  cid INTEGER NOT NULL, reason TEXT NOT NULL, created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_favorites ("
      "  aid INTEGER NOT NULL, track_id INTEGER NOT NULL REFERENCES mr_tracks(id),"
      "  favorited_at INTEGER NOT NULL, PRIMARY KEY (aid, track_id));"
      "CREATE TABLE IF NOT EXISTS mr_mixes ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, artist_id INTEGER NOT NULL,"
      "  track_ids TEXT NOT NULL, created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_fans ("
      "  aid INTEGER NOT NULL, artist_id INTEGER NOT NULL REFERENCES mr_artists(id),"
      "  created_at INTEGER NOT NULL, PRIMARY KEY (aid, artist_id));"
      "CREATE TABLE IF NOT EXISTS mr_badges ("
      "  id INTEGER PRIMARY KEY, artist_id INTEGER NOT NULL REFERENCES mr_artists(id),"
      "  name TEXT NOT NULL, description TEXT NOT NULL, stock INTEGER NOT NULL,"
      "  threshold INTEGER NOT NULL, created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_unlocked_badges ("
      "  aid INTEGER NOT NULL, badge_id INTEGER NOT NULL REFERENCES mr_badges(id),"
      "  unlocked_at INTEGER NOT NULL, PRIMARY KEY (aid, badge_id));"
      "CREATE TABLE IF NOT EXISTS mr_playbacks ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL,"
      "  track_id INTEGER NOT NULL REFERENCES mr_tracks(id), played_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_playback_history ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, artist_name TEXT NOT NULL,"
      "  track_title TEXT NOT NULL, artwork_url TEXT, playlist_name TEXT,"
      "  played_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_messages ("
      "  id INTEGER PRIMARY KEY, artist_id INTEGER NOT NULL REFERENCES mr_artists(id),"
      "  aid INTEGER NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL,"
      "  created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_notifications ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, type TEXT NOT NULL,"
      "  message_id INTEGER, badge_id INTEGER, read INTEGER NOT NULL DEFAULT 0,"
      "  created_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_profiles ("
      "  aid INTEGER PRIMARY KEY, screen_name TEXT, bio TEXT, image BLOB,"
      "  tag_cloud_tags TEXT, tag_cloud_shape TEXT);"
      "CREATE TABLE IF NOT EXISTS mr_device_tokens ("
      "  aid INTEGER NOT NULL, token TEXT NOT NULL, added_at INTEGER NOT NULL,"
      "  PRIMARY KEY (aid, token));"
      "CREATE TABLE IF NOT EXISTS mr_launches ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, launched_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_search_keywords ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, artist_name TEXT,"
      "  searched_at INTEGER NOT NULL);"
      "CREATE TABLE IF NOT EXISTS mr_user_tracks ("
      "  id INTEGER PRIMARY KEY, aid INTEGER NOT NULL, upload_id INTEGER NOT NULL,"
      "  line_number INTEGER NOT NULL, format TEXT NOT NULL, line TEXT NOT NULL,"
      "  received_at INTEGER NOT NULL);");
}

int64_t MireluneCatalog::now() const {
  return static_cast<int64_t>(clock_.currentDate().secondsSince1970);
}

// ---- Artists

Result<int64_t> MireluneCatalog::artistForName(Connection& db, const std::string& name) const {
  auto existing = db.scalar("SELECT id FROM mr_artists WHERE name = ?", {name});
  if (!existing.ok()) return existing.error();
  if (auto id = integerOf(*existing)) return *id;
  if (Status inserted =
          db.run("INSERT INTO mr_artists (name, updated_at) VALUES (?, ?)", {name, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  const int64_t id = db.lastInsertRowid();
  if (Status badge = createBadge(db, id, name); !badge.ok()) return badge.error();
  return id;
}

Status MireluneCatalog::createBadge(Connection& db, int64_t artist,
                                    const std::string& artistName) const {
  return db.run(
      "INSERT INTO mr_badges (artist_id, name, description, stock, threshold, created_at) "
      "VALUES (?, ?, ?, ?, ?, ?)",
      {artist, artistName + " listener",
       "Play " + std::to_string(kBadgeThreshold) + " tracks of " + artistName + " as a fan.",
       kBadgeStock, int64_t{kBadgeThreshold}, now()});
}

Result<int64_t> MireluneCatalog::updateArtist(Connection& db, const Value& artist) const {
  if (!artist.isDictionary()) {
    return sandboxError(SandboxError::InvalidParameter, "the artist must be a JSON object");
  }
  const std::string name = artist.stringForKey("name", "");
  if (name.empty()) return sandboxError(SandboxError::InvalidParameter, "the artist has no name");
  auto id = artistForName(db, name);
  if (!id.ok()) return id.error();
  auto rows = db.query(
      "SELECT url, mbid, images, tags, variants, similars, bio FROM mr_artists WHERE id = ?",
      {*id});
  if (!rows.ok()) return rows.error();
  const SqlRow& row = rows->front();
  std::string url = textOf(row[0]).value_or("");
  SqlValue mbid = row[1];
  Value images = jsonColumn(row[2], Value::dictionary());
  Value tags = jsonColumn(row[3], Value::array());
  Value variants = jsonColumn(row[4], Value::array());
  Value similars = jsonColumn(row[5], Value::array());
  Value bio = jsonColumn(row[6], Value::dictionary());

  // What the update leaves out, or sends as null, stays as it was.
  if (auto text = artist.stringForKey("url")) url = *text;
  if (auto text = artist.stringForKey("mbid")) mbid = *text;
  for (const char* key : kImageKeys) {
    if (auto text = artist.stringForKey(key)) images.set(key, Value(*text));
  }
  if (artist.arrayForKey("tags") != nullptr) tags = strings(artist.get("tags"));
  if (artist.arrayForKey("variants") != nullptr) variants = strings(artist.get("variants"));
  if (const Array* given = artist.arrayForKey("similars")) {
    similars = Value::array();
    for (const Value& similar : *given) {
      if (similar.isDictionary()) similars.append(similar);
    }
  }
  const auto content = artist.stringForKey("bioContent");
  const auto summary = artist.stringForKey("bioSummary");
  if (content || summary) {
    Value entry = Value::dictionary();
    entry.set("bioContent", Value(content.value_or("")));
    entry.set("bioSummary", Value(summary.value_or("")));
    bio.set(artist.stringForKey("bioLanguage", "en"), std::move(entry));
  }
  if (Status updated =
          db.run("UPDATE mr_artists SET url = ?, mbid = ?, images = ?, tags = ?, variants = ?, "
                 "similars = ?, bio = ?, updated_at = ? WHERE id = ?",
                 {url, mbid, toJson(images), toJson(tags), toJson(variants), toJson(similars),
                  toJson(bio), now(), *id});
      !updated.ok()) {
    return updated.error();
  }
  return *id;
}

Result<int64_t> MireluneCatalog::artistForWaid(Connection& db, const std::string& waid) const {
  const auto id = idFrom(waid, "wa");
  if (!id) return notFound("no artist has the waid \"" + waid + "\"");
  auto count = db.scalar("SELECT COUNT(*) FROM mr_artists WHERE id = ?", {*id});
  if (!count.ok()) return count.error();
  if (integerOf(*count).value_or(0) == 0) {
    return notFound("no artist has the waid \"" + waid + "\"");
  }
  return *id;
}

Result<Value> MireluneCatalog::artistSummary(Connection& db, int64_t artist) const {
  auto rows = db.query("SELECT name, url, images FROM mr_artists WHERE id = ?", {artist});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return notFound("no such artist");
  const SqlRow& row = rows->front();
  Value summary = Value::dictionary();
  summary.set("waid", Value(waidOf(artist)));
  summary.set("name", Value(textOf(row[0]).value_or("")));
  summary.set("url", Value(textOf(row[1]).value_or("")));
  const Value images = jsonColumn(row[2], Value::dictionary());
  for (const char* key : kImageKeys) {
    if (const Value* image = images.get(key)) summary.set(key, *image);
  }
  return summary;
}

Result<Value> MireluneCatalog::artistDocument(Connection& db, int64_t artist) const {
  auto summary = artistSummary(db, artist);
  if (!summary.ok()) return summary.error();
  auto rows = db.query(
      "SELECT mbid, tags, similars, bio, updated_at,"
      " (SELECT COUNT(*) FROM mr_fans WHERE artist_id = a.id),"
      " (SELECT COUNT(*) FROM mr_badges WHERE artist_id = a.id),"
      " (SELECT COUNT(*) FROM mr_tracks WHERE artist_id = a.id)"
      " FROM mr_artists a WHERE id = ?",
      {artist});
  if (!rows.ok()) return rows.error();
  const SqlRow& row = rows->front();
  Value document = std::move(summary.value());
  document.set("mbid", Value(textOf(row[0]).value_or("")));
  document.set("tags", jsonColumn(row[1], Value::array()));
  document.set("similars", jsonColumn(row[2], Value::array()));
  document.set("bio", jsonColumn(row[3], Value::dictionary()));
  document.set("lastModifiedAt", Value(integerOf(row[4]).value_or(0)));
  Value stats = Value::dictionary();
  stats.set("numOfFans", Value(integerOf(row[5]).value_or(0)));
  stats.set("numOfBadges", Value(integerOf(row[6]).value_or(0)));
  stats.set("numOfEvents", Value(0));
  stats.set("numOfTracks", Value(integerOf(row[7]).value_or(0)));
  document.set("stats", std::move(stats));
  return document;
}

// ---- Tracks

Result<int64_t> MireluneCatalog::updateTrack(Connection& db, const Value& track,
                                             std::optional<int64_t> artist) const {
  if (!track.isDictionary()) {
    return sandboxError(SandboxError::InvalidParameter, "the track must be a JSON object");
  }
  const std::string title = track.stringForKey("trackTitle", "");
  if (title.empty()) return sandboxError(SandboxError::InvalidParameter, "the track has no title");
  if (!artist) {
    const std::string artistName = track.stringForKey("artistName", "");
    if (artistName.empty()) {
      return sandboxError(SandboxError::InvalidParameter, "the track has no artist name");
    }
    auto id = artistForName(db, artistName);
    if (!id.ok()) return id.error();
    artist = *id;
  }
  if (Status inserted =
          db.run("INSERT OR IGNORE INTO mr_tracks (artist_id, title, updated_at) VALUES (?, ?, ?)",
                 {*artist, title, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  auto rows =
      db.query("SELECT id, artwork_url, previews FROM mr_tracks WHERE artist_id = ? AND title = ?",
               {*artist, title});
  if (!rows.ok()) return rows.error();
  const SqlRow& row = rows->front();
  const int64_t id = integerOf(row[0]).value_or(0);
  std::string artworkUrl = textOf(row[1]).value_or("");
  Value previews = jsonColumn(row[2], Value::dictionary());

  if (auto text = track.stringForKey("artworkUrl")) artworkUrl = *text;
  if (auto videoId = track.stringForKey("youTubeVideoId")) {
    Value preview = Value::dictionary();
    preview.set("videoId", Value(*videoId));
    previews.set("youTube", std::move(preview));
  }
  const auto viewUrl = track.stringForKey("iTunesStoreTrackViewUrl");
  const auto audioUrl = track.stringForKey("iTunesStorePreviewUrl");
  const auto country = track.stringForKey("iTunesStoreCountry");
  if (viewUrl || audioUrl) {
    Value preview = Value::dictionary();
    if (audioUrl) preview.set("audioUrl", Value(*audioUrl));
    if (viewUrl) preview.set("trackViewUrl", Value(*viewUrl));
    if (country) preview.set("country", Value(*country));
    previews.set("iTunes", std::move(preview));
  }
  if (Status updated =
          db.run("UPDATE mr_tracks SET artwork_url = ?, previews = ?, updated_at = ? WHERE id = ?",
                 {artworkUrl, toJson(previews), now(), id});
      !updated.ok()) {
    return updated.error();
  }
  return id;
}

Result<int64_t> MireluneCatalog::trackForWtid(Connection& db, const std::string& wtid) const {
  const auto id = idFrom(wtid, "wt");
  if (!id) return notFound("no track has the wtid \"" + wtid + "\"");
  auto count = db.scalar("SELECT COUNT(*) FROM mr_tracks WHERE id = ?", {*id});
  if (!count.ok()) return count.error();
  if (integerOf(*count).value_or(0) == 0) {
    return notFound("no track has the wtid \"" + wtid + "\"");
  }
  return *id;
}

Result<int64_t> MireluneCatalog::trackForNames(Connection& db, const std::string& artistName,
                                               const std::string& trackTitle) const {
  auto id = db.scalar(
      "SELECT t.id FROM mr_tracks t JOIN mr_artists a ON a.id = t.artist_id "
      "WHERE a.name = ? AND t.title = ?",
      {artistName, trackTitle});
  if (!id.ok()) return id.error();
  if (auto found = integerOf(*id)) return *found;
  return notFound("no track \"" + trackTitle + "\" by \"" + artistName + "\"");
}

Result<Value> MireluneCatalog::trackDocument(Connection& db, int64_t track,
                                             const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT t.title, t.artwork_url, t.previews, t.artist_id, a.name "
      "FROM mr_tracks t JOIN mr_artists a ON a.id = t.artist_id WHERE t.id = ?",
      {track});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return notFound("no such track");
  const SqlRow& row = rows->front();
  Value document = Value::dictionary();
  document.set("wtid", Value(wtidOf(track)));
  document.set("waid", Value(waidOf(integerOf(row[3]).value_or(0))));
  document.set("artistName", Value(textOf(row[4]).value_or("")));
  document.set("trackTitle", Value(textOf(row[0]).value_or("")));
  document.set("artworkUrl", Value(textOf(row[1]).value_or("")));
  document.set("trackViewUrl", Value(baseUrl + "/track/" + wtidOf(track)));
  document.set("removed", Value(false));
  const Value previews = jsonColumn(row[2], Value::dictionary());
  if (previews.size() > 0) document.set("previews", previews);

  auto comments = db.query(
      "SELECT aid, comment, created_at FROM mr_comments WHERE track_id = ? ORDER BY id", {track});
  if (!comments.ok()) return comments.error();
  Value list = Value::array();
  for (const SqlRow& comment : *comments) {
    auto author = profileDocument(db, integerOf(comment[0]).value_or(0), baseUrl);
    if (!author.ok()) return author.error();
    Value entry = Value::dictionary();
    entry.set("comment", Value(textOf(comment[1]).value_or("")));
    entry.set("createdAt", Value(integerOf(comment[2]).value_or(0)));
    entry.set("removed", Value(false));
    entry.set("createdBy", std::move(author.value()));
    list.append(std::move(entry));
  }
  document.set("comments", std::move(list));
  return document;
}

Result<Value> MireluneCatalog::tracksOfArtist(Connection& db, int64_t artist,
                                              const std::string& baseUrl) const {
  auto rows = db.query("SELECT id FROM mr_tracks WHERE artist_id = ? ORDER BY id", {artist});
  if (!rows.ok()) return rows.error();
  Value tracks = Value::array();
  for (const SqlRow& row : *rows) {
    auto document = trackDocument(db, integerOf(row[0]).value_or(0), baseUrl);
    if (!document.ok()) return document.error();
    tracks.append(std::move(document.value()));
  }
  return tracks;
}

Status MireluneCatalog::addComment(Connection& db, int64_t aid, int64_t track,
                                   const std::string& comment) const {
  return db.run("INSERT INTO mr_comments (track_id, aid, comment, created_at) VALUES (?, ?, ?, ?)",
                {track, aid, comment, now()});
}

Status MireluneCatalog::share(Connection& db, int64_t aid, int64_t track,
                              const std::vector<int64_t>& cids, const std::string& reason) const {
  for (int64_t cid : cids) {
    auto owned = accounts_.ownsConnection(db, aid, cid);
    if (!owned.ok()) return owned.error();
    if (!*owned) {
      return sandboxError(SandboxError::UnknownConnection,
                          "the connection " + std::to_string(cid) + " is not the account's");
    }
    if (Status inserted = db.run(
            "INSERT INTO mr_shares (aid, track_id, cid, reason, created_at) VALUES (?, ?, ?, ?, ?)",
            {aid, track, cid, reason, now()});
        !inserted.ok()) {
      return inserted.error();
    }
  }
  return {};
}

Status MireluneCatalog::updateMix(Connection& db, int64_t aid, const Value& mix) const {
  const Value* artistJson = mix.get("artist");
  const Array* tracks = mix.arrayForKey("tracks");
  if (artistJson == nullptr || tracks == nullptr) {
    return sandboxError(SandboxError::InvalidParameter,
                        "the mix needs an \"artist\" object and a \"tracks\" array");
  }
  auto artist = updateArtist(db, *artistJson);
  if (!artist.ok()) return artist.error();
  Value trackIds = Value::array();
  for (const Value& track : *tracks) {
    auto id = updateTrack(db, track, *artist);
    if (!id.ok()) return id.error();
    trackIds.append(Value(wtidOf(*id)));
  }
  return db.run("INSERT INTO mr_mixes (aid, artist_id, track_ids, created_at) VALUES (?, ?, ?, ?)",
                {aid, *artist, toJson(trackIds), now()});
}

// ---- Favourites

Result<Value> MireluneCatalog::addFavorite(Connection& db, int64_t aid,
                                           const std::string& artistName,
                                           const std::string& trackTitle,
                                           const std::string& artworkUrl, int64_t favoritedAt,
                                           const std::string& baseUrl) const {
  Value track = Value::dictionary();
  track.set("artistName", Value(artistName));
  track.set("trackTitle", Value(trackTitle));
  if (!artworkUrl.empty()) track.set("artworkUrl", Value(artworkUrl));
  auto id = updateTrack(db, track);
  if (!id.ok()) return id.error();
  if (Status stored = db.run(
          "INSERT OR REPLACE INTO mr_favorites (aid, track_id, favorited_at) VALUES (?, ?, ?)",
          {aid, *id, favoritedAt});
      !stored.ok()) {
    return stored.error();
  }
  auto document = trackDocument(db, *id, baseUrl);
  if (!document.ok()) return document.error();
  document->set("favoritedAt", Value(favoritedAt));
  return document;
}

Status MireluneCatalog::removeFavorite(Connection& db, int64_t aid, const std::string& artistName,
                                       const std::string& trackTitle) const {
  auto track = trackForNames(db, artistName, trackTitle);
  if (!track.ok()) {
    return track.error().code() == static_cast<int64_t>(SandboxError::NotFound) ? Status()
                                                                                : track.error();
  }
  return db.run("DELETE FROM mr_favorites WHERE aid = ? AND track_id = ?", {aid, *track});
}

Result<Value> MireluneCatalog::favorites(Connection& db, int64_t aid,
                                         const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT track_id, favorited_at FROM mr_favorites WHERE aid = ? "
      "ORDER BY favorited_at, rowid",
      {aid});
  if (!rows.ok()) return rows.error();
  Value list = Value::array();
  for (const SqlRow& row : *rows) {
    auto document = trackDocument(db, integerOf(row[0]).value_or(0), baseUrl);
    if (!document.ok()) return document.error();
    document->set("favoritedAt", Value(integerOf(row[1]).value_or(0)));
    list.append(std::move(document.value()));
  }
  return list;
}

// ---- Fans and badges

Result<Value> MireluneCatalog::fanDocument(Connection& db, int64_t aid, int64_t artist,
                                           const std::string& baseUrl) const {
  auto since =
      db.scalar("SELECT created_at FROM mr_fans WHERE aid = ? AND artist_id = ?", {aid, artist});
  if (!since.ok()) return since.error();
  if (!integerOf(*since)) return Value();

  auto document = listenerSummary(db, aid, baseUrl);
  if (!document.ok()) return document.error();
  auto artistValue = artistSummary(db, artist);
  if (!artistValue.ok()) return artistValue.error();
  document->set("active", Value(true));
  document->set("membership", Value(0));
  document->set("membershipContractId", Value(0));
  document->set("artist", std::move(artistValue.value()));

  auto unlocked = db.query(
      "SELECT b.id, b.name FROM mr_unlocked_badges u JOIN mr_badges b ON b.id = u.badge_id "
      "WHERE u.aid = ? AND b.artist_id = ? ORDER BY u.unlocked_at, b.id",
      {aid, artist});
  if (!unlocked.ok()) return unlocked.error();
  Value badges = Value::array();
  for (const SqlRow& row : *unlocked) {
    Value badge = Value::dictionary();
    badge.set("badgeId", Value(integerOf(row[0]).value_or(0)));
    badge.set("name", Value(textOf(row[1]).value_or("")));
    badges.append(std::move(badge));
  }
  document->set("badges", std::move(badges));

  // Plays per track (keyed by wtid) and in all.
  auto plays = db.query(
      "SELECT t.id, t.title, t.artwork_url, COUNT(*) FROM mr_playbacks p "
      "JOIN mr_tracks t ON t.id = p.track_id WHERE p.aid = ? AND t.artist_id = ? "
      "GROUP BY t.id ORDER BY t.id",
      {aid, artist});
  if (!plays.ok()) return plays.error();
  int64_t total = 0;
  Value playbackNum = Value::dictionary();
  for (const SqlRow& row : *plays) {
    const int64_t count = integerOf(row[3]).value_or(0);
    total += count;
    Value value = countValue(count);
    value.set("wtid", Value(wtidOf(integerOf(row[0]).value_or(0))));
    value.set("trackTitle", Value(textOf(row[1]).value_or("")));
    value.set("artworkUrl", Value(textOf(row[2]).value_or("")));
    playbackNum.set(wtidOf(integerOf(row[0]).value_or(0)), std::move(value));
  }
  playbackNum.set("all", countValue(total));
  auto sent = db.scalar(
      "SELECT COUNT(*) FROM mr_messages WHERE aid = ? AND artist_id = ? AND sender = 'fan'",
      {aid, artist});
  if (!sent.ok()) return sent.error();
  Value status = Value::dictionary();
  status.set("createdAt", Value(integerOf(*since).value_or(0)));
  status.set("playbackNum", std::move(playbackNum));
  status.set("participateEventNum", statusCount(0));
  status.set("purchaseNum", statusCount(0));
  status.set("communicateNum", statusCount(integerOf(*sent).value_or(0)));
  document->set("status", std::move(status));
  return document;
}

Result<Value> MireluneCatalog::addFan(Connection& db, int64_t aid, int64_t artist,
                                      const std::string& baseUrl) const {
  if (Status inserted =
          db.run("INSERT OR IGNORE INTO mr_fans (aid, artist_id, created_at) VALUES (?, ?, ?)",
                 {aid, artist, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  if (db.changes() > 0) {
    auto name = db.scalar("SELECT name FROM mr_artists WHERE id = ?", {artist});
    if (!name.ok()) return name.error();
    auto message =
        insertMessage(db, aid, artist, "artist",
                      "Thank you for becoming a fan of " + textOf(*name).value_or("") + "!");
    if (!message.ok()) return message.error();
    if (Status notified = db.run(
            "INSERT INTO mr_notifications (aid, type, message_id, created_at) VALUES (?, ?, ?, ?)",
            {aid, std::string("message"), *message, now()});
        !notified.ok()) {
      return notified.error();
    }
  }
  return fanDocument(db, aid, artist, baseUrl);
}

Result<Value> MireluneCatalog::fansOfAccount(Connection& db, int64_t aid,
                                             const std::string& baseUrl) const {
  auto rows =
      db.query("SELECT artist_id FROM mr_fans WHERE aid = ? ORDER BY created_at, rowid", {aid});
  if (!rows.ok()) return rows.error();
  Value fans = Value::array();
  for (const SqlRow& row : *rows) {
    auto document = fanDocument(db, aid, integerOf(row[0]).value_or(0), baseUrl);
    if (!document.ok()) return document.error();
    fans.append(std::move(document.value()));
  }
  return fans;
}

Result<Value> MireluneCatalog::fansOfArtist(Connection& db, int64_t artist, int64_t from,
                                            int64_t count, const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT aid FROM mr_fans WHERE artist_id = ? ORDER BY created_at, rowid LIMIT ? OFFSET ?",
      {artist, count, from});
  if (!rows.ok()) return rows.error();
  Value fans = Value::array();
  for (const SqlRow& row : *rows) {
    auto document = fanDocument(db, integerOf(row[0]).value_or(0), artist, baseUrl);
    if (!document.ok()) return document.error();
    fans.append(std::move(document.value()));
  }
  return fans;
}

Result<Value> MireluneCatalog::badgeDocumentOrNull(Connection& db, int64_t badgeId) const {
  auto rows = db.query(
      "SELECT artist_id, name, description, stock, threshold, created_at,"
      " (SELECT COUNT(*) FROM mr_unlocked_badges WHERE badge_id = b.id)"
      " FROM mr_badges b WHERE id = ?",
      {badgeId});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return Value();
  const SqlRow& row = rows->front();
  auto artist = artistSummary(db, integerOf(row[0]).value_or(0));
  if (!artist.ok()) return artist.error();
  const int64_t stock = integerOf(row[3]).value_or(0);
  Value condition = Value::dictionary();
  condition.set("countThreshold", Value(integerOf(row[4]).value_or(0)));
  Value requisite = Value::dictionary();
  requisite.set("type", Value("playbackNum"));
  requisite.set("object", Value("all"));
  requisite.set("condition", std::move(condition));
  Value badge = Value::dictionary();
  badge.set("badgeId", Value(badgeId));
  badge.set("createdAt", Value(integerOf(row[5]).value_or(0)));
  badge.set("name", Value(textOf(row[1]).value_or("")));
  badge.set("description", Value(textOf(row[2]).value_or("")));
  badge.set("artist", std::move(artist.value()));
  badge.set("stock", Value(stock));
  badge.set("currentStock", Value(stock - integerOf(row[6]).value_or(0)));
  badge.set("requisiteItems", Value(Array{std::move(requisite)}));
  badge.set("grantAt", Value(true));  // no period limits the grant
  return badge;
}

Result<Value> MireluneCatalog::badgeDocument(Connection& db, int64_t badgeId) const {
  auto badge = badgeDocumentOrNull(db, badgeId);
  if (badge.ok() && badge->isNull()) {
    return notFound("no badge has the ID " + std::to_string(badgeId));
  }
  return badge;
}

Result<Value> MireluneCatalog::badgesOfArtist(Connection& db, int64_t artist) const {
  auto rows = db.query("SELECT id FROM mr_badges WHERE artist_id = ? ORDER BY id", {artist});
  if (!rows.ok()) return rows.error();
  Value badges = Value::array();
  for (const SqlRow& row : *rows) {
    auto badge = badgeDocumentOrNull(db, integerOf(row[0]).value_or(0));
    if (!badge.ok()) return badge.error();
    badges.append(std::move(badge.value()));
  }
  return badges;
}

Result<Value> MireluneCatalog::playback(Connection& db, int64_t aid, int64_t track,
                                        const std::string& baseUrl) const {
  if (Status inserted =
          db.run("INSERT INTO mr_playbacks (aid, track_id, played_at) VALUES (?, ?, ?)",
                 {aid, track, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  auto artistValue = db.scalar("SELECT artist_id FROM mr_tracks WHERE id = ?", {track});
  if (!artistValue.ok()) return artistValue.error();
  const int64_t artist = integerOf(*artistValue).value_or(0);
  auto fan =
      db.scalar("SELECT COUNT(*) FROM mr_fans WHERE aid = ? AND artist_id = ?", {aid, artist});
  if (!fan.ok()) return fan.error();
  if (integerOf(*fan).value_or(0) == 0) return Value();

  // Badges whose threshold the fan's plays of the artist now reach.
  auto earned = db.query(
      "SELECT b.id FROM mr_badges b WHERE b.artist_id = ?1"
      " AND b.threshold <= (SELECT COUNT(*) FROM mr_playbacks p JOIN mr_tracks t"
      "   ON t.id = p.track_id WHERE p.aid = ?2 AND t.artist_id = ?1)"
      " AND b.stock > (SELECT COUNT(*) FROM mr_unlocked_badges WHERE badge_id = b.id)"
      " AND NOT EXISTS (SELECT 1 FROM mr_unlocked_badges WHERE badge_id = b.id AND aid = ?2)",
      {artist, aid});
  if (!earned.ok()) return earned.error();
  for (const SqlRow& row : *earned) {
    const int64_t badge = integerOf(row[0]).value_or(0);
    if (Status unlocked =
            db.run("INSERT INTO mr_unlocked_badges (aid, badge_id, unlocked_at) VALUES (?, ?, ?)",
                   {aid, badge, now()});
        !unlocked.ok()) {
      return unlocked.error();
    }
    if (Status notified = db.run(
            "INSERT INTO mr_notifications (aid, type, badge_id, created_at) VALUES (?, ?, ?, ?)",
            {aid, std::string("badge"), badge, now()});
        !notified.ok()) {
      return notified.error();
    }
  }
  return fanDocument(db, aid, artist, baseUrl);
}

// ---- Messages and notifications

Result<int64_t> MireluneCatalog::insertMessage(Connection& db, int64_t aid, int64_t artist,
                                               const std::string& sender,
                                               const std::string& text) const {
  if (Status inserted = db.run("INSERT INTO mr_messages (artist_id, aid, sender, text, created_at) "
                               "VALUES (?, ?, ?, ?, ?)",
                               {artist, aid, sender, text, now()});
      !inserted.ok()) {
    return inserted.error();
  }
  return db.lastInsertRowid();
}

Result<Value> MireluneCatalog::messageDocument(Connection& db, int64_t messageId,
                                               const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT artist_id, aid, sender, text, created_at FROM mr_messages WHERE id = ?", {messageId});
  if (!rows.ok()) return rows.error();
  if (rows->empty()) return notFound("no such message");
  const SqlRow& row = rows->front();
  const int64_t artist = integerOf(row[0]).value_or(0);
  auto artistValue = artistSummary(db, artist);
  if (!artistValue.ok()) return artistValue.error();
  auto fan = listenerSummary(db, integerOf(row[1]).value_or(0), baseUrl);
  if (!fan.ok()) return fan.error();
  Value message = Value::dictionary();
  message.set("msgId", Value(messageId));
  message.set("msgThreadId", Value(artist));
  message.set("createdAt", Value(integerOf(row[4]).value_or(0)));
  message.set("text", Value(textOf(row[3]).value_or("")));
  message.set("sender", Value(textOf(row[2]).value_or("")));
  message.set("artist", std::move(artistValue.value()));
  message.set("fan", std::move(fan.value()));
  message.set("displayTo", Value::array());
  return message;
}

Result<Value> MireluneCatalog::messages(Connection& db, int64_t aid, int64_t artist, int64_t older,
                                        int64_t count, const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT id FROM mr_messages WHERE artist_id = ? AND aid = ? AND (? = 0 OR id < ?) "
      "ORDER BY id DESC LIMIT ?",
      {artist, aid, older, older, count});
  if (!rows.ok()) return rows.error();
  Value list = Value::array();
  for (const SqlRow& row : *rows) {
    auto message = messageDocument(db, integerOf(row[0]).value_or(0), baseUrl);
    if (!message.ok()) return message.error();
    list.append(std::move(message.value()));
  }
  return list;
}

Result<Value> MireluneCatalog::sendMessage(Connection& db, int64_t aid, int64_t artist,
                                           const std::string& text,
                                           const std::string& baseUrl) const {
  auto id = insertMessage(db, aid, artist, "fan", text);
  if (!id.ok()) return id.error();
  return messageDocument(db, *id, baseUrl);
}

Result<Value> MireluneCatalog::notifications(Connection& db, int64_t aid, int64_t from,
                                             int64_t count, const std::string& baseUrl) const {
  auto rows = db.query(
      "SELECT id, type, message_id, badge_id, read, created_at FROM mr_notifications "
      "WHERE aid = ? AND (? = 0 OR id < ?) ORDER BY id DESC LIMIT ?",
      {aid, from, from, count});
  if (!rows.ok()) return rows.error();
  Value list = Value::array();
  for (const SqlRow& row : *rows) {
    Value notification = Value::dictionary();
    notification.set("notifId", Value(integerOf(row[0]).value_or(0)));
    notification.set("aid", Value(aid));
    notification.set("createdAt", Value(integerOf(row[5]).value_or(0)));
    notification.set("type", Value(textOf(row[1]).value_or("")));
    notification.set("read", Value(integerOf(row[4]).value_or(0) != 0));
    notification.set("notified", Value(true));
    if (auto message = integerOf(row[2])) {
      auto document = messageDocument(db, *message, baseUrl);
      if (!document.ok()) return document.error();
      notification.set("message", std::move(document.value()));
    }
    if (auto badge = integerOf(row[3])) {
      auto document = badgeDocumentOrNull(db, *badge);
      if (!document.ok()) return document.error();
      notification.set("badge", std::move(document.value()));
    }
    list.append(std::move(notification));
  }
  return list;
}

Result<bool> MireluneCatalog::markNotificationRead(Connection& db, int64_t aid,
                                                   int64_t notifId) const {
  if (Status updated =
          db.run("UPDATE mr_notifications SET read = 1 WHERE id = ? AND aid = ?", {notifId, aid});
      !updated.ok()) {
    return updated.error();
  }
  return db.changes() > 0;
}

// ---- Listener profiles

Result<Value> MireluneCatalog::listenerSummary(Connection& db, int64_t aid,
                                               const std::string& baseUrl) const {
  auto name = accounts_.accountName(db, aid);
  if (!name.ok()) return name.error();
  auto rows =
      db.query("SELECT screen_name, image IS NOT NULL FROM mr_profiles WHERE aid = ?", {aid});
  if (!rows.ok()) return rows.error();
  Value summary = Value::dictionary();
  summary.set("aid", Value(aid));
  summary.set("aname", Value(*name));
  if (!rows->empty()) {
    const SqlRow& row = rows->front();
    if (auto screenName = textOf(row[0])) summary.set("screenName", Value(*screenName));
    if (integerOf(row[1]).value_or(0) != 0) {
      summary.set("profileImageIconUrl",
                  Value(baseUrl + "/listener/" + std::to_string(aid) + "/image.png"));
    }
  }
  return summary;
}

Result<Value> MireluneCatalog::profileDocument(Connection& db, int64_t aid,
                                               const std::string& baseUrl) const {
  auto document = listenerSummary(db, aid, baseUrl);
  if (!document.ok()) return document.error();
  auto rows = db.query("SELECT bio, tag_cloud_shape FROM mr_profiles WHERE aid = ?", {aid});
  if (!rows.ok()) return rows.error();
  document->set("bio", Value(rows->empty() ? "" : textOf(rows->front()[0]).value_or("")));
  if (const Value* icon = document->get("profileImageIconUrl")) {
    document->set("profileImageUrl", *icon);
  }
  if (!rows->empty()) {
    if (auto shape = textOf(rows->front()[1])) {
      Value cloud = Value::dictionary();
      cloud.set("imageUrl", Value(baseUrl + "/listener/" + std::to_string(aid) + "/tagcloud.png"));
      cloud.set("shape", Value(*shape));
      document->set("profileTagCloud", std::move(cloud));
    }
  }
  return document;
}

Status MireluneCatalog::updateProfile(Connection& db, int64_t aid,
                                      const std::optional<std::string>& screenName,
                                      const std::optional<std::string>& bio,
                                      const std::optional<std::string>& image) const {
  if (Status made = db.run("INSERT OR IGNORE INTO mr_profiles (aid) VALUES (?)", {aid});
      !made.ok()) {
    return made;
  }
  if (screenName) {
    if (Status set =
            db.run("UPDATE mr_profiles SET screen_name = ? WHERE aid = ?", {*screenName, aid});
        !set.ok()) {
      return set;
    }
  }
  if (bio) {
    if (Status set = db.run("UPDATE mr_profiles SET bio = ? WHERE aid = ?", {*bio, aid});
        !set.ok()) {
      return set;
    }
  }
  if (image) {
    const Bytes bytes(image->begin(), image->end());
    if (Status set = db.run("UPDATE mr_profiles SET image = ? WHERE aid = ?", {bytes, aid});
        !set.ok()) {
      return set;
    }
  }
  return {};
}

Result<std::optional<std::string>> MireluneCatalog::profileImage(Connection& db,
                                                                 int64_t aid) const {
  auto image = db.scalar("SELECT image FROM mr_profiles WHERE aid = ?", {aid});
  if (!image.ok()) return image.error();
  const auto bytes = blobOf(*image);
  if (!bytes) return std::optional<std::string>();
  return std::optional<std::string>(std::string(bytes->begin(), bytes->end()));
}

Status MireluneCatalog::updateTagCloud(Connection& db, int64_t aid, const Value& tags,
                                       const std::string& shape) const {
  if (Status made = db.run("INSERT OR IGNORE INTO mr_profiles (aid) VALUES (?)", {aid});
      !made.ok()) {
    return made;
  }
  return db.run("UPDATE mr_profiles SET tag_cloud_tags = ?, tag_cloud_shape = ? WHERE aid = ?",
                {toJson(tags), shape, aid});
}

Result<Value> MireluneCatalog::tagCloud(Connection& db, int64_t aid) const {
  auto rows =
      db.query("SELECT tag_cloud_tags, tag_cloud_shape FROM mr_profiles WHERE aid = ?", {aid});
  if (!rows.ok()) return rows.error();
  if (rows->empty() || !textOf(rows->front()[1])) return Value();
  Value cloud = Value::dictionary();
  cloud.set("tags", jsonColumn(rows->front()[0], Value::array()));
  cloud.set("shape", Value(*textOf(rows->front()[1])));
  return cloud;
}

// ---- Logs

Status MireluneCatalog::addDeviceToken(Connection& db, int64_t aid,
                                       const std::string& token) const {
  return db.run("INSERT OR IGNORE INTO mr_device_tokens (aid, token, added_at) VALUES (?, ?, ?)",
                {aid, token, now()});
}

Status MireluneCatalog::recordLaunch(Connection& db, int64_t aid) const {
  return db.run("INSERT INTO mr_launches (aid, launched_at) VALUES (?, ?)", {aid, now()});
}

Status MireluneCatalog::recordSearchKeyword(Connection& db, int64_t aid,
                                            const std::optional<std::string>& artistName) const {
  return db.run("INSERT INTO mr_search_keywords (aid, artist_name, searched_at) VALUES (?, ?, ?)",
                {aid, toSql(artistName), now()});
}

Status MireluneCatalog::recordPlaybackHistory(Connection& db, int64_t aid,
                                              const Value& entry) const {
  return db.run(
      "INSERT INTO mr_playback_history (aid, artist_name, track_title, artwork_url, "
      "playlist_name, played_at) VALUES (?, ?, ?, ?, ?, ?)",
      {aid, entry.stringForKey("artistName", ""), entry.stringForKey("trackTitle", ""),
       toSql(entry.stringForKey("artworkUrl")), toSql(entry.stringForKey("playlistName")), now()});
}

Status MireluneCatalog::storeUserTracks(Connection& db, int64_t aid, const std::string& format,
                                        const std::vector<std::string>& lines) const {
  auto last = db.scalar("SELECT COALESCE(MAX(upload_id), 0) FROM mr_user_tracks");
  if (!last.ok()) return last.error();
  const int64_t upload = integerOf(*last).value_or(0) + 1;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (Status inserted = db.run(
            "INSERT INTO mr_user_tracks (aid, upload_id, line_number, format, line, received_at) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            {aid, upload, static_cast<int64_t>(i + 1), format, lines[i], now()});
        !inserted.ok()) {
      return inserted;
    }
  }
  return {};
}

// ---- What arrived

Result<std::vector<Value>> MireluneCatalog::uploadedTracks(Connection& db, int64_t aid) const {
  auto rows = db.query("SELECT format, line FROM mr_user_tracks WHERE aid = ? ORDER BY id", {aid});
  if (!rows.ok()) return rows.error();
  std::vector<Value> tracks;
  for (const SqlRow& row : *rows) {
    const std::string line = textOf(row[1]).value_or("");
    if (textOf(row[0]).value_or("") == "json") {
      tracks.push_back(jsonColumn(row[1], Value()));
      continue;
    }
    Value columns = Value::array();
    size_t start = 0;
    while (true) {
      const size_t tab = line.find('\t', start);
      columns.append(Value(line.substr(start, tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    Value entry = Value::dictionary();
    entry.set("columns", std::move(columns));
    tracks.push_back(std::move(entry));
  }
  return tracks;
}

Result<int64_t> MireluneCatalog::launchCount(Connection& db, int64_t aid) const {
  auto count = db.scalar("SELECT COUNT(*) FROM mr_launches WHERE aid = ?", {aid});
  if (!count.ok()) return count.error();
  return integerOf(*count).value_or(0);
}

Result<int64_t> MireluneCatalog::favoriteCount(Connection& db, int64_t aid) const {
  auto count = db.scalar("SELECT COUNT(*) FROM mr_favorites WHERE aid = ?", {aid});
  if (!count.ok()) return count.error();
  return integerOf(*count).value_or(0);
}

Result<int64_t> MireluneCatalog::commentCount(Connection& db, int64_t aid) const {
  auto count = db.scalar("SELECT COUNT(*) FROM mr_comments WHERE aid = ?", {aid});
  if (!count.ok()) return count.error();
  return integerOf(*count).value_or(0);
}

Result<std::vector<std::string>> MireluneCatalog::deviceTokens(Connection& db, int64_t aid) const {
  auto rows =
      db.query("SELECT token FROM mr_device_tokens WHERE aid = ? ORDER BY added_at, rowid", {aid});
  if (!rows.ok()) return rows.error();
  std::vector<std::string> tokens;
  for (const SqlRow& row : *rows)
    tokens.push_back(textOf(row[0]).value_or(""));
  return tokens;
}

Result<std::vector<Value>> MireluneCatalog::playbackHistory(Connection& db, int64_t aid) const {
  auto rows = db.query(
      "SELECT artist_name, track_title, artwork_url, playlist_name FROM mr_playback_history "
      "WHERE aid = ? ORDER BY id",
      {aid});
  if (!rows.ok()) return rows.error();
  std::vector<Value> entries;
  for (const SqlRow& row : *rows) {
    Value entry = Value::dictionary();
    entry.set("artistName", Value(textOf(row[0]).value_or("")));
    entry.set("trackTitle", Value(textOf(row[1]).value_or("")));
    if (auto artwork = textOf(row[2])) entry.set("artworkUrl", Value(*artwork));
    if (auto playlist = textOf(row[3])) entry.set("playlistName", Value(*playlist));
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace mr::sandbox
