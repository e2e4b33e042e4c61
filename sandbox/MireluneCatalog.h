// What the Mirelune service knows, kept in the sandbox's store, and the
// documents it answers with. Artists are "wa<n>" and tracks "wt<n>"; names
// and titles compare without regard to ASCII case. Every artist gets one
// badge when it is first seen, unlocked by playing three of its tracks as a
// fan. Each fan and the artist share one message thread, whose ID is the
// artist's number. Operations run on a connection the caller holds inside a
// SandboxStore transaction; `baseUrl` is where the documents' own addresses
// (track pages, profile images, tag clouds) point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Error.h"
#include "base/Value.h"
#include "store/Connection.h"

namespace mr::sandbox {

class OvloAccounts;

class MireluneCatalog {
 public:
  static constexpr int kBadgeThreshold = 3;

  MireluneCatalog(const Clock& clock, const OvloAccounts& accounts)
      : clock_(clock), accounts_(accounts) {}

  static Status createSchema(Connection& db);

  // ---- Artists. The artist JSON of the client: "name" (required), "url",
  // "mbid", "bioLanguage" with "bioContent" and "bioSummary", the image
  // URLs, "tags", "variants", "similars". Members it leaves out keep their
  // stored values.
  Result<int64_t> updateArtist(Connection& db, const Value& artist) const;
  Result<int64_t> artistForWaid(Connection& db, const std::string& waid) const;
  Result<Value> artistDocument(Connection& db, int64_t artist) const;

  // ---- Tracks. The track JSON of the client: "trackTitle" and
  // "artistName" (required unless `artist` is given), "artworkUrl",
  // "youTubeVideoId", "iTunesStoreTrackViewUrl", "iTunesStoreCountry",
  // "iTunesStorePreviewUrl".
  Result<int64_t> updateTrack(Connection& db, const Value& track,
                              std::optional<int64_t> artist = std::nullopt) const;
  Result<int64_t> trackForWtid(Connection& db, const std::string& wtid) const;
  Result<int64_t> trackForNames(Connection& db, const std::string& artistName,
                                const std::string& trackTitle) const;
  Result<Value> trackDocument(Connection& db, int64_t track, const std::string& baseUrl) const;
  Result<Value> tracksOfArtist(Connection& db, int64_t artist, const std::string& baseUrl) const;
  Status addComment(Connection& db, int64_t aid, int64_t track, const std::string& comment) const;
  // Records that the track was shared on the account's connections.
  Status share(Connection& db, int64_t aid, int64_t track, const std::vector<int64_t>& cids,
               const std::string& reason) const;
  // Stores a top-track mix {"artist": artist JSON, "tracks": [track JSON]}.
  Status updateMix(Connection& db, int64_t aid, const Value& mix) const;

  // ---- Favourites.
  Result<Value> addFavorite(Connection& db, int64_t aid, const std::string& artistName,
                            const std::string& trackTitle, const std::string& artworkUrl,
                            int64_t favoritedAt, const std::string& baseUrl) const;
  // Removing what is not a favourite succeeds and changes nothing.
  Status removeFavorite(Connection& db, int64_t aid, const std::string& artistName,
                        const std::string& trackTitle) const;
  Result<Value> favorites(Connection& db, int64_t aid, const std::string& baseUrl) const;

  // ---- Fans and badges.
  // Makes the account a fan (once; the first time the artist sends a
  // welcome message) and answers its fan document.
  Result<Value> addFan(Connection& db, int64_t aid, int64_t artist,
                       const std::string& baseUrl) const;
  Result<Value> fansOfAccount(Connection& db, int64_t aid, const std::string& baseUrl) const;
  Result<Value> fansOfArtist(Connection& db, int64_t artist, int64_t from, int64_t count,
                             const std::string& baseUrl) const;
  Result<Value> badgesOfArtist(Connection& db, int64_t artist) const;
  Result<Value> badgeDocument(Connection& db, int64_t badgeId) const;
  // Counts a play; for a fan, unlocks the badges now earned and answers the
  // fan document, else null.
  Result<Value> playback(Connection& db, int64_t aid, int64_t track,
                         const std::string& baseUrl) const;

  // ---- Messages and notifications, newest first. `older` and `from` of 0
  // mean from the newest.
  Result<Value> messages(Connection& db, int64_t aid, int64_t artist, int64_t older, int64_t count,
                         const std::string& baseUrl) const;
  Result<Value> sendMessage(Connection& db, int64_t aid, int64_t artist, const std::string& text,
                            const std::string& baseUrl) const;
  Result<Value> notifications(Connection& db, int64_t aid, int64_t from, int64_t count,
                              const std::string& baseUrl) const;
  // Whether the account had that notification.
  Result<bool> markNotificationRead(Connection& db, int64_t aid, int64_t notifId) const;

  // ---- Listener profiles.
  Result<Value> profileDocument(Connection& db, int64_t aid, const std::string& baseUrl) const;
  Status updateProfile(Connection& db, int64_t aid, const std::optional<std::string>& screenName,
                       const std::optional<std::string>& bio,
                       const std::optional<std::string>& image) const;
  // The stored picture, or nullopt.
  Result<std::optional<std::string>> profileImage(Connection& db, int64_t aid) const;
  Status updateTagCloud(Connection& db, int64_t aid, const Value& tags,
                        const std::string& shape) const;
  // {"tags": [...], "shape": ...} last drawn for the account, or null.
  Result<Value> tagCloud(Connection& db, int64_t aid) const;

  // ---- Logs.
  Status addDeviceToken(Connection& db, int64_t aid, const std::string& token) const;
  Status recordLaunch(Connection& db, int64_t aid) const;
  Status recordSearchKeyword(Connection& db, int64_t aid,
                             const std::optional<std::string>& artistName) const;
  Status recordPlaybackHistory(Connection& db, int64_t aid, const Value& entry) const;
  // One upload of the library's new tracks: each line as received, with
  // its format ("json" lines or "tsv" lines).
  Status storeUserTracks(Connection& db, int64_t aid, const std::string& format,
                         const std::vector<std::string>& lines) const;

  // ---- What arrived, for tests.
  // JSON lines parsed, TSV lines as {"columns": [...]}, in arrival order.
  Result<std::vector<Value>> uploadedTracks(Connection& db, int64_t aid) const;
  Result<int64_t> launchCount(Connection& db, int64_t aid) const;
  Result<int64_t> favoriteCount(Connection& db, int64_t aid) const;
  Result<int64_t> commentCount(Connection& db, int64_t aid) const;
  Result<std::vector<std::string>> deviceTokens(Connection& db, int64_t aid) const;
  // {"artistName", "trackTitle", "artworkUrl", "playlistName"} in arrival order.
  Result<std::vector<Value>> playbackHistory(Connection& db, int64_t aid) const;

 private:
  int64_t now() const;
  Result<int64_t> artistForName(Connection& db, const std::string& name) const;
  Result<Value> artistSummary(Connection& db, int64_t artist) const;
  Result<Value> listenerSummary(Connection& db, int64_t aid, const std::string& baseUrl) const;
  // Null when the account is not a fan of the artist.
  Result<Value> fanDocument(Connection& db, int64_t aid, int64_t artist,
                            const std::string& baseUrl) const;
  Result<Value> messageDocument(Connection& db, int64_t messageId,
                                const std::string& baseUrl) const;
  Result<Value> badgeDocumentOrNull(Connection& db, int64_t badgeId) const;
  Status createBadge(Connection& db, int64_t artist, const std::string& artistName) const;
  Result<int64_t> insertMessage(Connection& db, int64_t aid, int64_t artist,
                                const std::string& sender, const std::string& text) const;

  const Clock& clock_;
  const OvloAccounts& accounts_;
};

}  // namespace mr::sandbox
