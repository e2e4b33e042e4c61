#include "sandbox/MireluneProtocol.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "base/Json.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxRouter.h"
#include "sandbox/SandboxStore.h"
#include "sandbox/TagCloudPainter.h"

namespace mr::sandbox {
namespace {

constexpr int64_t kDefaultPageSize = 20;
constexpr int64_t kMaxPageSize = 200;

Error missing(std::string_view key) {
  return sandboxError(SandboxError::MissingParameter, "\"" + std::string(key) + "\" is required");
}

Error invalid(std::string message) {
  return sandboxError(SandboxError::InvalidParameter, std::move(message));
}

// A present, non-empty text parameter.
Result<std::string> requiredText(const SandboxRequest& request, std::string_view key) {
  auto value = request.text(key);
  if (!value || value->empty()) return missing(key);
  return *value;
}

// A parameter holding JSON text.
Result<Value> jsonParameter(const SandboxRequest& request, std::string_view key) {
  auto text = requiredText(request, key);
  if (!text.ok()) return text.error();
  auto parsed = parseJson(*text);
  if (!parsed.ok()) {
    return invalid("\"" + std::string(key) + "\" is not JSON: " + parsed.error().description());
  }
  return parsed;
}

// A decimal integer parameter; `fallback` when absent (required when there is none).
Result<int64_t> integerParameter(const SandboxRequest& request, std::string_view key,
                                 std::optional<int64_t> fallback = std::nullopt) {
  const auto text = request.text(key);
  if (!text || text->empty()) {
    if (fallback) return *fallback;
    return missing(key);
  }
  int64_t value = 0;
  const char* end = text->data() + text->size();
  const auto parsed = std::from_chars(text->data(), end, value);
  if (parsed.ec != std::errc() || parsed.ptr != end) {
    return invalid("\"" + std::string(key) + "\" must be a whole number");
  }
  return value;
}

// "count" for lists: the default when absent, at most kMaxPageSize.
Result<int64_t> pageSize(const SandboxRequest& request) {
  auto count = integerParameter(request, "count", kDefaultPageSize);
  if (!count.ok()) return count;
  if (*count <= 0 || *count > kMaxPageSize) {
    return invalid("\"count\" must be between 1 and " + std::to_string(kMaxPageSize));
  }
  return count;
}

// "shareOn": a JSON array of connection IDs.
Result<std::vector<int64_t>> connectionIds(const SandboxRequest& request) {
  auto list = jsonParameter(request, "shareOn");
  if (!list.ok()) return list.error();
  if (!list->isArray()) return invalid("\"shareOn\" must be a JSON array");
  std::vector<int64_t> cids;
  for (const Value& member : *list->asArray()) {
    const int64_t* cid = member.asInteger();
    if (cid == nullptr) return invalid("\"shareOn\" must hold connection IDs");
    cids.push_back(*cid);
  }
  return cids;
}

// The number a page's address names; 0 (nobody) when it does not fit.
int64_t capturedId(const SandboxRequest& request) {
  const std::string& text = request.captures.at(0);
  int64_t id = 0;
  std::from_chars(text.data(), text.data() + text.size(), id);
  return id;
}

bool isPng(const std::string& bytes) {
  return bytes.starts_with("\x89PNG\r\n\x1a\n");
}

// The upload calls carry nothing but the signature and the file.
Status onlyTheFile(const SandboxRequest& request, const char* part) {
  if (!request.parameters.empty()) {
    return invalid("the upload takes no form fields besides the signature, got \"" +
                   request.parameters.keys().front() + "\"");
  }
  if (request.file(part) == nullptr) {
    return missing(part);
  }
  return {};
}

Result<std::vector<TagCloudTag>> tagCloudTags(const Value& tags) {
  if (!tags.isArray()) return invalid("\"tags\" must be a JSON array");
  std::vector<TagCloudTag> result;
  for (const Value& tag : *tags.asArray()) {
    const auto name = tag.stringForKey("name");
    const Value* weight = tag.get("weight");
    if (!name || weight == nullptr || !weight->numberAsDouble()) {
      return invalid("each tag needs a \"name\" and a numeric \"weight\"");
    }
    result.push_back({*name, *weight->numberAsDouble()});
  }
  return result;
}

}  // namespace

Status MireluneProtocol::createSchema(Connection& db) {
  return MireluneCatalog::createSchema(db);
}

SandboxResponse MireluneProtocol::answer(
    const std::function<Result<Value>(Connection&)>& work) const {
  return SandboxResponse::from(store_.transaction(work));
}

Result<std::vector<std::string>> MireluneProtocol::userTrackLines(const std::string& content) {
  std::vector<std::string> lines;
  if (content.empty()) return lines;
  if (content.back() != '\n') return invalid("the last line does not end with a line feed");
  static constexpr const char* kNamed[] = {"artistName", "trackTitle", "albumTitle", "playCount"};
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find('\n', start);
    std::string line = content.substr(start, end - start);
    start = end + 1;
    const std::string where = "line " + std::to_string(lines.size() + 1) + ": ";
    auto parsed = parseJson(line);
    if (!parsed.ok()) return invalid(where + parsed.error().description());
    const Dictionary* members = parsed->asDictionary();
    if (members == nullptr) return invalid(where + "not a JSON object");
    if (members->size() != 5) return invalid(where + "a track has exactly five members");
    for (const char* key : {"artistName", "trackTitle", "albumTitle"}) {
      const Value* text = members->find(key);
      if (text == nullptr || !text->isString()) {
        return invalid(where + "\"" + key + "\" must be a string");
      }
    }
    const Value* playCount = members->find("playCount");
    if (playCount == nullptr || !playCount->isInteger() || *playCount->asInteger() < 0) {
      return invalid(where + "\"playCount\" must be a non-negative integer");
    }
    // The fifth member is named after the library type and holds its metadata.
    for (const auto& [key, value] : *members) {
      if (std::find(std::begin(kNamed), std::end(kNamed), key) != std::end(kNamed)) continue;
      if (!value.isDictionary()) {
        return invalid(where + "the library member \"" + key + "\" must be an object");
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

void MireluneProtocol::registerRoutes(SandboxRouter& router) {
  registerArtistsAndTracks(router);
  registerListeners(router);
  registerLogs(router);
  registerPages(router);
}

void MireluneProtocol::registerArtistsAndTracks(SandboxRouter& router) {
  router.post("/artist/update", Signing::Required, [this](const SandboxRequest& request) {
    auto artist = jsonParameter(request, "artist");
    if (!artist.ok()) return SandboxResponse::failure(artist.error());
    auto id = store_.transaction([&](Connection& db) -> Result<Value> {
      auto updated = catalog_.updateArtist(db, *artist);
      if (!updated.ok()) return updated.error();
      return catalog_.artistDocument(db, *updated);
    });
    if (!id.ok()) return SandboxResponse::failure(id.error());
    Value answer = Value::dictionary();
    answer.set("waid", Value(id->stringForKey("waid", "")));
    return SandboxResponse::json(answer);
  });

  router.post("/artist/get_with_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.artistDocument(db, *artist);
    });
  });

  router.post("/badge/get_with_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.badgesOfArtist(db, *artist);
    });
  });

  router.post("/badge/get_with_badge_id", Signing::Required, [this](const SandboxRequest& request) {
    auto badge = integerParameter(request, "badgeId");
    if (!badge.ok()) return SandboxResponse::failure(badge.error());
    return answer([&](Connection& db) { return catalog_.badgeDocument(db, *badge); });
  });

  router.post("/fan/add", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.addFan(db, request.aid, *artist, request.baseUrl);
    });
  });

  router.post("/fan/get", Signing::Required, [this](const SandboxRequest& request) {
    return answer(
        [&](Connection& db) { return catalog_.fansOfAccount(db, request.aid, request.baseUrl); });
  });

  router.post("/fan/get_with_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    auto from = integerParameter(request, "from", 0);
    auto count = pageSize(request);
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    if (!from.ok()) return SandboxResponse::failure(from.error());
    if (!count.ok()) return SandboxResponse::failure(count.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.fansOfArtist(db, *artist, std::max<int64_t>(*from, 0), *count,
                                   request.baseUrl);
    });
  });

  router.post("/track/update", Signing::Required, [this](const SandboxRequest& request) {
    auto track = jsonParameter(request, "track");
    if (!track.ok()) return SandboxResponse::failure(track.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto id = catalog_.updateTrack(db, *track);
      if (!id.ok()) return id.error();
      return catalog_.trackDocument(db, *id, request.baseUrl);
    });
  });

  router.post("/track/update_with_artist", Signing::Required,
              [this](const SandboxRequest& request) {
                auto track = jsonParameter(request, "track");
                auto artist = jsonParameter(request, "artist");
                if (!track.ok()) return SandboxResponse::failure(track.error());
                if (!artist.ok()) return SandboxResponse::failure(artist.error());
                return answer([&](Connection& db) -> Result<Value> {
                  auto artistId = catalog_.updateArtist(db, *artist);
                  if (!artistId.ok()) return artistId.error();
                  auto id = catalog_.updateTrack(db, *track, *artistId);
                  if (!id.ok()) return id.error();
                  return catalog_.trackDocument(db, *id, request.baseUrl);
                });
              });

  router.post("/track/add_comment", Signing::Required, [this](const SandboxRequest& request) {
    auto comment = requiredText(request, "comment");
    auto wtid = requiredText(request, "wtid");
    if (!comment.ok()) return SandboxResponse::failure(comment.error());
    if (!wtid.ok()) return SandboxResponse::failure(wtid.error());
    Result<std::vector<int64_t>> cids = std::vector<int64_t>{};
    if (request.text("shareOn")) cids = connectionIds(request);
    if (!cids.ok()) return SandboxResponse::failure(cids.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto track = catalog_.trackForWtid(db, *wtid);
      if (!track.ok()) return track.error();
      if (Status added = catalog_.addComment(db, request.aid, *track, *comment); !added.ok()) {
        return added.error();
      }
      if (Status shared = catalog_.share(db, request.aid, *track, *cids, "comment"); !shared.ok()) {
        return shared.error();
      }
      return catalog_.trackDocument(db, *track, request.baseUrl);
    });
  });

  router.post("/track/get", Signing::Required, [this](const SandboxRequest& request) {
    const auto wtid = request.text("wtid");
    auto artistName = requiredText(request, "artistName");
    auto trackTitle = requiredText(request, "trackTitle");
    if (!wtid && !(artistName.ok() && trackTitle.ok())) {
      return SandboxResponse::failure(
          sandboxError(SandboxError::MissingParameter,
                       "\"wtid\", or \"artistName\" and \"trackTitle\", are required"));
    }
    return answer([&](Connection& db) -> Result<Value> {
      auto track = wtid ? catalog_.trackForWtid(db, *wtid)
                        : catalog_.trackForNames(db, *artistName, *trackTitle);
      if (!track.ok()) return track.error();
      return catalog_.trackDocument(db, *track, request.baseUrl);
    });
  });

  router.post("/track/get_with_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.tracksOfArtist(db, *artist, request.baseUrl);
    });
  });

  router.post("/track/playback", Signing::Required, [this](const SandboxRequest& request) {
    auto wtid = requiredText(request, "wtid");
    if (!wtid.ok()) return SandboxResponse::failure(wtid.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto track = catalog_.trackForWtid(db, *wtid);
      if (!track.ok()) return track.error();
      return catalog_.playback(db, request.aid, *track, request.baseUrl);
    });
  });

  router.post("/artist_top_track_mix/update", Signing::Required,
              [this](const SandboxRequest& request) {
                auto mix = jsonParameter(request, "mix");
                if (!mix.ok()) return SandboxResponse::failure(mix.error());
                return answer([&](Connection& db) -> Result<Value> {
                  if (Status stored = catalog_.updateMix(db, request.aid, *mix); !stored.ok()) {
                    return stored.error();
                  }
                  return Value();
                });
              });

  // Favourites name their track by artist and title; the track is made
  // when the service has not seen it.
  router.post("/favorite_track/add", Signing::Required, [this](const SandboxRequest& request) {
    auto artistName = requiredText(request, "artistName");
    auto trackTitle = requiredText(request, "trackTitle");
    const auto now = static_cast<int64_t>(clock_.currentDate().secondsSince1970);
    auto favoritedAt = integerParameter(request, "favoritedAt", now);
    for (const auto* text : {&artistName, &trackTitle}) {
      if (!text->ok()) return SandboxResponse::failure(text->error());
    }
    if (!favoritedAt.ok()) return SandboxResponse::failure(favoritedAt.error());
    return answer([&](Connection& db) {
      return catalog_.addFavorite(db, request.aid, *artistName, *trackTitle,
                                  request.text("artworkUrl").value_or(""), *favoritedAt,
                                  request.baseUrl);
    });
  });

  router.post("/favorite_track/remove", Signing::Required, [this](const SandboxRequest& request) {
    auto artistName = requiredText(request, "artistName");
    auto trackTitle = requiredText(request, "trackTitle");
    for (const auto* text : {&artistName, &trackTitle}) {
      if (!text->ok()) return SandboxResponse::failure(text->error());
    }
    return answer([&](Connection& db) -> Result<Value> {
      if (Status removed = catalog_.removeFavorite(db, request.aid, *artistName, *trackTitle);
          !removed.ok()) {
        return removed.error();
      }
      return Value();
    });
  });

  router.post("/favorite_track/share", Signing::Required, [this](const SandboxRequest& request) {
    auto wtid = requiredText(request, "wtid");
    auto cids = connectionIds(request);
    if (!wtid.ok()) return SandboxResponse::failure(wtid.error());
    if (!cids.ok()) return SandboxResponse::failure(cids.error());
    if (cids->empty()) return SandboxResponse::failure(invalid("\"shareOn\" is empty"));
    return answer([&](Connection& db) -> Result<Value> {
      auto track = catalog_.trackForWtid(db, *wtid);
      if (!track.ok()) return track.error();
      if (Status shared = catalog_.share(db, request.aid, *track, *cids, "favorite");
          !shared.ok()) {
        return shared.error();
      }
      return Value();
    });
  });

  router.post("/favorite_track/get", Signing::Required, [this](const SandboxRequest& request) {
    return answer(
        [&](Connection& db) { return catalog_.favorites(db, request.aid, request.baseUrl); });
  });
}

void MireluneProtocol::registerListeners(SandboxRouter& router) {
  router.post("/listener_profile/get", Signing::Required, [this](const SandboxRequest& request) {
    auto aid = integerParameter(request, "aid");
    if (!aid.ok()) return SandboxResponse::failure(aid.error());
    return answer(
        [&](Connection& db) { return catalog_.profileDocument(db, *aid, request.baseUrl); });
  });

  router.post("/listener_profile/update", Signing::Required, [this](const SandboxRequest& request) {
    std::optional<std::string> image;
    if (const SandboxFile* part = request.file("profileImage")) {
      if (!isPng(part->content)) {
        return SandboxResponse::failure(invalid("\"profileImage\" is not a PNG"));
      }
      image = part->content;
    }
    return answer([&](Connection& db) -> Result<Value> {
      if (Status updated = catalog_.updateProfile(db, request.aid, request.text("screenName"),
                                                  request.text("bio"), image);
          !updated.ok()) {
        return updated.error();
      }
      return catalog_.profileDocument(db, request.aid, request.baseUrl);
    });
  });

  router.post("/listener_profile/add_device_token", Signing::Required,
              [this](const SandboxRequest& request) {
                auto token = requiredText(request, "deviceToken");
                if (!token.ok()) return SandboxResponse::failure(token.error());
                return answer([&](Connection& db) -> Result<Value> {
                  if (Status added = catalog_.addDeviceToken(db, request.aid, *token);
                      !added.ok()) {
                    return added.error();
                  }
                  return Value();
                });
              });

  router.post("/message/get_with_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    auto older = integerParameter(request, "older", 0);
    auto count = pageSize(request);
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    if (!older.ok()) return SandboxResponse::failure(older.error());
    if (!count.ok()) return SandboxResponse::failure(count.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.messages(db, request.aid, *artist, *older, *count, request.baseUrl);
    });
  });

  router.post("/message/send_to_waid", Signing::Required, [this](const SandboxRequest& request) {
    auto waid = requiredText(request, "waid");
    auto text = requiredText(request, "text");
    if (!waid.ok()) return SandboxResponse::failure(waid.error());
    if (!text.ok()) return SandboxResponse::failure(text.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto artist = catalog_.artistForWaid(db, *waid);
      if (!artist.ok()) return artist.error();
      return catalog_.sendMessage(db, request.aid, *artist, *text, request.baseUrl);
    });
  });

  router.post("/notification/get", Signing::Required, [this](const SandboxRequest& request) {
    auto from = integerParameter(request, "from", 0);
    auto count = pageSize(request);
    if (!from.ok()) return SandboxResponse::failure(from.error());
    if (!count.ok()) return SandboxResponse::failure(count.error());
    return answer([&](Connection& db) {
      return catalog_.notifications(db, request.aid, *from, *count, request.baseUrl);
    });
  });

  router.post("/notification/read", Signing::Required, [this](const SandboxRequest& request) {
    auto notifId = integerParameter(request, "notifId");
    if (!notifId.ok()) return SandboxResponse::failure(notifId.error());
    return answer([&](Connection& db) -> Result<Value> {
      auto marked = catalog_.markNotificationRead(db, request.aid, *notifId);
      if (!marked.ok()) return marked.error();
      if (!*marked) {
        return sandboxError(SandboxError::NotFound,
                            "no notification has the ID " + std::to_string(*notifId));
      }
      return Value();
    });
  });

  router.post("/genre_tagcloud/generate", Signing::Required, [this](const SandboxRequest& request) {
    auto tags = jsonParameter(request, "tags");
    if (!tags.ok()) return SandboxResponse::failure(tags.error());
    auto parsed = tagCloudTags(*tags);
    if (!parsed.ok()) return SandboxResponse::failure(parsed.error());
    const std::string shape = request.text("shape").value_or("");
    if (!TagCloudPainter::isKnownShape(shape)) {
      return SandboxResponse::failure(invalid("unknown shape \"" + shape + "\""));
    }
    std::string picture = TagCloudPainter::paint(*parsed, shape);
    if (picture.empty()) {
      return SandboxResponse::failure(
          sandboxError(SandboxError::InternalFailure, "the picture could not be encoded"));
    }
    auto stored = store_.transaction([&](Connection& db) -> Status {
      return catalog_.updateTagCloud(db, request.aid, *tags, shape);
    });
    if (!stored.ok()) return SandboxResponse::failure(stored.error());
    return SandboxResponse::png(std::move(picture));
  });
}

void MireluneProtocol::registerLogs(SandboxRouter& router) {
  router.post("/playback_history/add", Signing::Required, [this](const SandboxRequest& request) {
    auto artistName = requiredText(request, "artistName");
    auto trackTitle = requiredText(request, "trackTitle");
    for (const auto* text : {&artistName, &trackTitle}) {
      if (!text->ok()) return SandboxResponse::failure(text->error());
    }
    Value entry = Value(request.parameters);
    return answer([&](Connection& db) -> Result<Value> {
      if (Status recorded = catalog_.recordPlaybackHistory(db, request.aid, entry);
          !recorded.ok()) {
        return recorded.error();
      }
      return Value();
    });
  });

  router.post("/usage_log/launch", Signing::Required, [this](const SandboxRequest& request) {
    return answer([&](Connection& db) -> Result<Value> {
      if (Status recorded = catalog_.recordLaunch(db, request.aid); !recorded.ok()) {
        return recorded.error();
      }
      return Value();
    });
  });

  router.post("/usage_log/search_keyword", Signing::Required,
              [this](const SandboxRequest& request) {
                return answer([&](Connection& db) -> Result<Value> {
                  if (Status recorded =
                          catalog_.recordSearchKeyword(db, request.aid, request.text("artistName"));
                      !recorded.ok()) {
                    return recorded.error();
                  }
                  return Value();
                });
              });

  // The older upload: tab-separated lines, kept as they come.
  router.post("/user_track/update", Signing::Required, [this](const SandboxRequest& request) {
    if (Status shape = onlyTheFile(request, "tracks"); !shape.ok()) {
      return SandboxResponse::failure(shape.error());
    }
    std::vector<std::string> lines;
    const std::string& content = request.file("tracks")->content;
    size_t start = 0;
    while (start < content.size()) {
      const size_t end = std::min(content.find('\n', start), content.size());
      std::string line = content.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(std::move(line));
      start = end + 1;
    }
    return answer([&](Connection& db) -> Result<Value> {
      if (Status stored = catalog_.storeUserTracks(db, request.aid, "tsv", lines); !stored.ok()) {
        return stored.error();
      }
      return Value();
    });
  });

  router.post("/user_track/update2", Signing::Required, [this](const SandboxRequest& request) {
    if (Status shape = onlyTheFile(request, "tracks"); !shape.ok()) {
      return SandboxResponse::failure(shape.error());
    }
    auto lines = userTrackLines(request.file("tracks")->content);
    if (!lines.ok()) return SandboxResponse::failure(lines.error());
    return answer([&](Connection& db) -> Result<Value> {
      if (Status stored = catalog_.storeUserTracks(db, request.aid, "json", *lines); !stored.ok()) {
        return stored.error();
      }
      return Value();
    });
  });
}

namespace {

// The terms of use the welcome window shows in a frame.
constexpr const char* kTermsOfUsePage = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<title>Mirelune Terms of Use</title>
<style>
body { margin: 0; padding: 28px 32px 40px; font: 14px/1.6 system-ui, sans-serif;
       color: #1c1a24; background: #fff; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 15px; margin: 22px 0 6px; }
p, li { margin: 0 0 8px; color: #3d3a4a; }
.updated { color: #8c899b; font-size: 12px; margin-bottom: 18px; }
@media (prefers-color-scheme: dark) {
  body { color: #f2f0fa; background: #18171f; }
  p, li { color: #c9c5d8; }
}
</style></head>
<body>
<h1>Mirelune Terms of Use</h1>
<p class="updated">Last updated: April 1, 2024</p>
<p>These terms govern your use of Mirelune, its recommendations and the
web pages of the Mirelune service. By creating an account or logging in you
agree to them.</p>
<h2>1. Your account</h2>
<p>Keep your password to yourself. You are responsible for what is done
with your account. You may close it at any time from the account page.</p>
<h2>2. Your music library</h2>
<p>To recommend music, Mirelune reads the titles, artists, albums and play
counts of the songs in your music library and sends them to the service.
It never uploads the audio files themselves.</p>
<h2>3. Previews and links</h2>
<p>Previews are played from the stores and video sites that offer them,
under their own terms. Mirelune does not sell music; purchase links lead
to the stores.</p>
<h2>4. Comments and sharing</h2>
<p>Comments you post are public. Do not post anything unlawful or
anything you have no right to share. We may remove comments that break
these terms.</p>
<h2>5. Changes</h2>
<p>We may change these terms; the date above tells when they last changed.
Continuing to use Mirelune after a change means you accept it.</p>
<h2>6. No warranty</h2>
<p>Mirelune is offered as it is, without warranty of any kind, to the
extent the law allows.</p>
</body></html>
)";

}  // namespace

void MireluneProtocol::registerPages(SandboxRouter& router) {
  router.get("/app/mirelune-tou", Signing::None, [](const SandboxRequest&) {
    return SandboxResponse::withStatus(200, "text/html; charset=utf-8", kTermsOfUsePage);
  });

  router.get("/track/(wt[0-9]+)", Signing::None, [this](const SandboxRequest& request) {
    auto track = store_.transaction([&](Connection& db) -> Result<Value> {
      auto id = catalog_.trackForWtid(db, request.captures.at(0));
      if (!id.ok()) return id.error();
      return catalog_.trackDocument(db, *id, request.baseUrl);
    });
    if (!track.ok()) {
      return SandboxResponse::html(404, "No such track", escapeMarkup(track.error().description()));
    }
    return SandboxResponse::html(
        200, track->stringForKey("trackTitle", ""),
        "<p>by " + escapeMarkup(track->stringForKey("artistName", "")) + "</p>");
  });

  router.get(
      "/listener/([0-9]+)/image\\.png", Signing::None, [this](const SandboxRequest& request) {
        const int64_t aid = capturedId(request);
        auto image =
            store_.transaction([&](Connection& db) { return catalog_.profileImage(db, aid); });
        if (!image.ok() || !image->has_value()) {
          return SandboxResponse::html(404, "No picture", "");
        }
        return SandboxResponse::png(std::move(**image));
      });

  router.get(
      "/listener/([0-9]+)/tagcloud\\.png", Signing::None, [this](const SandboxRequest& request) {
        const int64_t aid = capturedId(request);
        auto cloud = store_.transaction([&](Connection& db) { return catalog_.tagCloud(db, aid); });
        if (!cloud.ok() || cloud->isNull()) {
          return SandboxResponse::html(404, "No tag cloud", "");
        }
        auto tags = tagCloudTags(*cloud->get("tags"));
        if (!tags.ok()) return SandboxResponse::html(404, "No tag cloud", "");
        return SandboxResponse::png(
            TagCloudPainter::paint(*tags, cloud->stringForKey("shape", "")));
      });
}

}  // namespace mr::sandbox
