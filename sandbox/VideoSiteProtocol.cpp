#include "sandbox/VideoSiteProtocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "base/Json.h"
#include "base/StringAdditions.h"
#include "base/Value.h"
#include "sandbox/CoverPainter.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxRouter.h"

namespace mr::sandbox {
namespace {

constexpr const char* kFeedType = "application/json; charset=UTF-8";
constexpr const char* kCategoryScheme = "http://gdata.youtube.com/schemas/2007/categories.cat";
constexpr int kDefaultResults = 25;
constexpr int kMaxResults = 50;

struct Quality {
  const char* name;
  int itag;
  int stream;  // which of the shared stream files plays
};
constexpr Quality kQualities[] = {
    {"hd720", 22, 0}, {"large", 35, 1}, {"medium", 18, 2}, {"small", 36, 3}};

// The streams a video's page lists, best first.
std::vector<Quality> streamsOf(const CatalogueVideo& video) {
  switch (video.streamCount) {
    case 4:
      return {kQualities[0], kQualities[1], kQualities[2], kQualities[3]};
    case 3:
      return {kQualities[0], kQualities[2], kQualities[3]};
    case 2:
      return {kQualities[2], kQualities[3]};
    case 1:
      return {kQualities[2]};
    default:
      return {};
  }
}

Value text(std::string_view value) {
  Value wrapped = Value::dictionary();
  wrapped.set("$t", Value(value));
  return wrapped;
}

Value number(int64_t value) {
  Value wrapped = Value::dictionary();
  wrapped.set("$t", Value(value));
  return wrapped;
}

SandboxResponse feedAnswer(const Value& feed) {
  Value body = Value::dictionary();
  body.set("version", Value("1.0"));
  body.set("encoding", Value("UTF-8"));
  body.set("feed", feed);
  return SandboxResponse::withStatus(200, kFeedType, toJson(body));
}

SandboxResponse badRequest(const std::string& message) {
  return SandboxResponse::withStatus(400, "text/plain; charset=UTF-8", message + "\n");
}

std::string watchUrl(const std::string& base, const CatalogueVideo& video) {
  return base + "/watch?v=" + video.id + "&feature=youtube_gdata";
}

std::string signature(const CatalogueVideo& video, int itag) {
  return MD5DigestString("sandbox-stream:" + video.id + ":" + std::to_string(itag)).substr(0, 16);
}

std::string streamUrl(const std::string& base, const CatalogueVideo& video,
                      const Quality& quality) {
  return base + "/videoplayback?id=" + video.id + "&itag=" + std::to_string(quality.itag) +
         "&quality=" + quality.name + "&sig=" + signature(video, quality.itag);
}

// A whole-number parameter within [low, high]; the fallback when absent,
// nullopt when present but not such a number.
std::optional<int> boundedParameter(const SandboxRequest& request, const char* key, int fallback,
                                    int low, int high) {
  const auto value = request.text(key);
  if (!value) return fallback;
  int parsed = 0;
  const auto end = value->data() + value->size();
  const auto result = std::from_chars(value->data(), end, parsed);
  if (result.ec != std::errc() || result.ptr != end || parsed < low || parsed > high)
    return std::nullopt;
  return parsed;
}

// One member of "entry(...)" in a fields selection: its JSON name and the
// "rel" its links must have, if any.
struct SelectedField {
  std::string name;
  std::string rel;
};

// "ns:name" or "name", letters only.
bool isFieldName(std::string_view name) {
  const size_t colon = name.find(':');
  const auto letters = [](std::string_view part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
  };
  if (colon == std::string_view::npos) return letters(name);
  return letters(name.substr(0, colon)) && letters(name.substr(colon + 1));
}

std::optional<std::vector<SelectedField>> parseFields(std::string_view fields) {
  constexpr std::string_view kOpen = "entry(";
  constexpr std::string_view kRel = "[@rel='";
  if (!fields.starts_with(kOpen) || !fields.ends_with(")")) return std::nullopt;
  const std::string_view inner = fields.substr(kOpen.size(), fields.size() - kOpen.size() - 1);
  std::vector<SelectedField> selected;
  size_t start = 0;
  while (start <= inner.size()) {
    size_t end = inner.find(',', start);
    if (end == std::string_view::npos) end = inner.size();
    std::string_view item = inner.substr(start, end - start);
    std::string rel;
    if (const size_t filter = item.find(kRel); filter != std::string_view::npos) {
      if (!item.ends_with("']")) return std::nullopt;
      rel = std::string(item.substr(filter + kRel.size(), item.size() - filter - kRel.size() - 2));
      if (rel.find('\'') != std::string::npos) return std::nullopt;
      item = item.substr(0, filter);
    }
    if (!isFieldName(item)) return std::nullopt;
    std::string name(item);
    std::replace(name.begin(), name.end(), ':', '$');
    selected.push_back({std::move(name), std::move(rel)});
    start = end + 1;
  }
  return selected;
}

Value selectFields(const Value& entry, const std::vector<SelectedField>& fields) {
  Value selected = Value::dictionary();
  for (const SelectedField& field : fields) {
    const Value* member = entry.get(field.name);
    if (member == nullptr) continue;
    if (field.rel.empty() || !member->isArray()) {
      selected.set(field.name, *member);
      continue;
    }
    Value kept = Value::array();
    for (const Value& link : *member->asArray()) {
      if (link.stringForKey("rel", "") == field.rel) kept.append(link);
    }
    selected.set(field.name, std::move(kept));
  }
  return selected;
}

void appendHex4(std::string& out, unsigned unit) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\u%04x", unit & 0xFFFF);
  out += hex;
}

}  // namespace

VideoSiteProtocol::VideoSiteProtocol(const MusicCatalogue& catalogue, SandboxMedia& media)
    : catalogue_(catalogue), media_(media) {
  for (const CatalogueVideo& video : catalogue.videos()) {
    for (const std::string& word : MusicCatalogue::searchWords(video.title + " " + video.keywords +
                                                               " " + video.description)) {
      std::vector<int>& items = words_[word];
      if (items.empty() || items.back() != video.index) items.push_back(video.index);
    }
  }
}

namespace {

Value entryFor(const CatalogueVideo& video, const std::string& base) {
  const std::string watch = watchUrl(base, video);
  Value entry = Value::dictionary();
  if (video.restricted) {
    Value state = Value::dictionary();
    state.set("$t", Value("Syndication of this video was restricted."));
    state.set("name", Value("restricted"));
    state.set("reasonCode", Value("limitedSyndication"));
    Value control = Value::dictionary();
    control.set("yt$state", std::move(state));
    entry.set("app$control", std::move(control));
  }
  entry.set("id", text("tag:youtube.com,2008:video:" + video.id));
  entry.set("published", text(video.published));
  entry.set("updated", text(video.published));
  Value kind = Value::dictionary();
  kind.set("scheme", Value("http://schemas.google.com/g/2005#kind"));
  kind.set("term", Value("http://gdata.youtube.com/schemas/2007#video"));
  Value category = Value::dictionary();
  category.set("scheme", Value(kCategoryScheme));
  category.set("term", Value(video.category));
  category.set("label", Value(video.category));
  entry.set("category", Value(Array{kind, category}));
  entry.set("title", text(video.title));

  Value links = Value::array();
  auto link = [&](const char* rel, const char* type, std::string href) {
    Value item = Value::dictionary();
    item.set("rel", Value(rel));
    item.set("type", Value(type));
    item.set("href", Value(std::move(href)));
    links.append(std::move(item));
  };
  // The watch page first: readers take the first link.
  link("alternate", "text/html", watch);
  link("http://gdata.youtube.com/schemas/2007#video.responses", "application/atom+xml",
       base + "/feeds/api/videos/" + video.id + "/responses?v=2");
  link("self", "application/atom+xml", base + "/feeds/api/videos/" + video.id + "?v=2");
  entry.set("link", std::move(links));

  Value author = Value::dictionary();
  author.set("name", text(video.author));
  author.set("uri", text(base + "/feeds/api/users/" + video.author));
  entry.set("author", Value(Array{author}));

  Value feedLink = Value::dictionary();
  feedLink.set("rel", Value("http://gdata.youtube.com/schemas/2007#comments"));
  feedLink.set("href", Value(base + "/feeds/api/videos/" + video.id + "/comments?v=2"));
  feedLink.set("countHint", Value(video.commentCount));
  Value comments = Value::dictionary();
  comments.set("gd$feedLink", std::move(feedLink));
  entry.set("gd$comments", std::move(comments));

  Value group = Value::dictionary();
  Value mediaCategory = Value::dictionary();
  mediaCategory.set("$t", Value(video.category));
  mediaCategory.set("label", Value(video.category));
  mediaCategory.set("scheme", Value(kCategoryScheme));
  group.set("media$category", Value(Array{mediaCategory}));
  Value description = text(video.description);
  description.set("type", Value("plain"));
  group.set("media$description", std::move(description));
  group.set("media$keywords", text(video.keywords));
  Value player = Value::dictionary();
  player.set("url", Value(watch));
  group.set("media$player", std::move(player));
  Value thumbnails = Value::array();
  for (const auto& [name, width, height] :
       {std::tuple{"default", 120, 90}, std::tuple{"mqdefault", 320, 180},
        std::tuple{"hqdefault", 480, 360}}) {
    Value thumbnail = Value::dictionary();
    thumbnail.set("url", Value(base + "/vi/" + video.id + "/" + name + ".png"));
    thumbnail.set("height", Value(height));
    thumbnail.set("width", Value(width));
    thumbnail.set("yt$name", Value(name));
    thumbnails.append(std::move(thumbnail));
  }
  group.set("media$thumbnail", std::move(thumbnails));
  Value title = text(video.title);
  title.set("type", Value("plain"));
  group.set("media$title", std::move(title));
  Value duration = Value::dictionary();
  duration.set("seconds", Value(std::to_string(video.durationSeconds)));
  group.set("yt$duration", std::move(duration));
  group.set("yt$uploaded", text(video.published));
  group.set("yt$videoid", text(video.id));
  entry.set("media$group", std::move(group));

  // The data API writes its counts as strings.
  Value statistics = Value::dictionary();
  statistics.set("favoriteCount", Value(std::to_string(video.favoriteCount)));
  statistics.set("viewCount", Value(std::to_string(video.viewCount)));
  entry.set("yt$statistics", std::move(statistics));
  return entry;
}

}  // namespace

SandboxResponse VideoSiteProtocol::videos(const SandboxRequest& request) const {
  if (request.text("alt").value_or("") != "json") return badRequest("Invalid value for alt");
  const auto maxResults = boundedParameter(request, "max-results", kDefaultResults, 1, kMaxResults);
  if (!maxResults) return badRequest("Invalid value for max-results");
  const auto startIndex = boundedParameter(request, "start-index", 1, 1, 1000000);
  if (!startIndex) return badRequest("Invalid value for start-index");
  std::optional<std::vector<SelectedField>> fields;
  if (const auto selection = request.text("fields"); selection && !selection->empty()) {
    fields = parseFields(*selection);
    if (!fields) return badRequest("Invalid field selection: " + *selection);
  }
  const std::string orderBy = request.text("orderby").value_or("relevance");

  const auto& all = catalogue_.videos();
  std::vector<std::pair<int, int>> found;  // video, words matched
  const std::vector<std::string> words =
      MusicCatalogue::searchWords(request.text("q").value_or(""));
  if (words.empty()) {
    for (const CatalogueVideo& video : all)
      found.emplace_back(video.index, 0);
  } else {
    std::unordered_map<int, int> scores;
    for (const std::string& word : std::set<std::string>(words.begin(), words.end())) {
      const auto hit = words_.find(word);
      if (hit == words_.end()) continue;
      for (int video : hit->second)
        ++scores[video];
    }
    found.assign(scores.begin(), scores.end());
  }
  auto views = [&](int video) { return all[static_cast<size_t>(video)].viewCount; };
  std::sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
    if (orderBy == "published") {
      const auto& pa = all[static_cast<size_t>(a.first)].published;
      const auto& pb = all[static_cast<size_t>(b.first)].published;
      if (pa != pb) return pa > pb;
    } else if (orderBy != "viewCount" && a.second != b.second) {
      return a.second > b.second;
    }
    if (views(a.first) != views(b.first)) return views(a.first) > views(b.first);
    return a.first < b.first;
  });

  Value entries = Value::array();
  const size_t first = static_cast<size_t>(*startIndex - 1);
  for (size_t i = first; i < std::min(found.size(), first + static_cast<size_t>(*maxResults));
       ++i) {
    Value entry = entryFor(all[static_cast<size_t>(found[i].first)], request.baseUrl);
    entries.append(fields ? selectFields(entry, *fields) : std::move(entry));
  }
  Value feed = Value::dictionary();
  if (!fields) {
    feed.set("xmlns", Value("http://www.w3.org/2005/Atom"));
    feed.set("id", text("tag:youtube.com,2008:videos"));
    feed.set("title", text("Videos matching: " + request.text("q").value_or("")));
    feed.set("openSearch$totalResults", number(static_cast<int64_t>(found.size())));
    feed.set("openSearch$startIndex", number(*startIndex));
    feed.set("openSearch$itemsPerPage", number(*maxResults));
  }
  if (entries.size() > 0) feed.set("entry", std::move(entries));
  return feedAnswer(feed);
}

SandboxResponse VideoSiteProtocol::comments(const SandboxRequest& request) const {
  const CatalogueVideo* video = catalogue_.findVideo(request.captures.at(0));
  if (video == nullptr)
    return SandboxResponse::withStatus(404, "text/plain; charset=UTF-8", "Video not found\n");
  if (request.text("alt").value_or("") != "json") return badRequest("Invalid value for alt");
  const auto maxResults = boundedParameter(request, "max-results", kDefaultResults, 1, kMaxResults);
  if (!maxResults) return badRequest("Invalid value for max-results");
  const auto startIndex = boundedParameter(request, "start-index", 1, 1, 1000000);
  if (!startIndex) return badRequest("Invalid value for start-index");

  const auto all = catalogue_.comments(video->index);
  Value entries = Value::array();
  const size_t first = static_cast<size_t>(*startIndex - 1);
  for (size_t i = first; i < std::min(all.size(), first + static_cast<size_t>(*maxResults)); ++i) {
    const CatalogueComment& comment = all[i];
    Value entry = Value::dictionary();
    entry.set("id", text("tag:youtube.com,2008:video:" + video->id + ":comment:" +
                         MD5DigestString(video->id + std::to_string(i)).substr(0, 16)));
    entry.set("published", text(comment.published));
    entry.set("updated", text(comment.published));
    entry.set("title", text("Comment from " + comment.author));
    entry.set("content", text(comment.content));
    Value author = Value::dictionary();
    author.set("name", text(comment.author));
    author.set("uri", text(request.baseUrl + "/feeds/api/users/" + comment.author));
    entry.set("author", Value(Array{author}));
    entries.append(std::move(entry));
  }
  Value feed = Value::dictionary();
  feed.set("xmlns", Value("http://www.w3.org/2005/Atom"));
  feed.set("id", text("tag:youtube.com,2008:video:" + video->id + ":comments"));
  feed.set("title", text("Comments on '" + video->title + "'"));
  feed.set("openSearch$totalResults", number(static_cast<int64_t>(all.size())));
  feed.set("openSearch$startIndex", number(*startIndex));
  feed.set("openSearch$itemsPerPage", number(*maxResults));
  if (entries.size() > 0) feed.set("entry", std::move(entries));
  return feedAnswer(feed);
}

SandboxResponse VideoSiteProtocol::watchPage(const SandboxRequest& request) const {
  const CatalogueVideo* video = catalogue_.findVideo(request.text("v").value_or(""));
  if (video == nullptr) {
    return SandboxResponse::html(404, "This video is unavailable.", "<p>Sorry about that.</p>");
  }
  Value streams = Value::array();
  for (const Quality& quality : streamsOf(*video)) {
    Value stream = Value::dictionary();
    stream.set("itag", Value(std::to_string(quality.itag)));
    stream.set("url", Value(streamUrl(request.baseUrl, *video, quality)));
    stream.set("quality", Value(quality.name));
    stream.set("type", Value("video/mp4; codecs=\"mp4v.20.3, mp4a.40.2\""));
    streams.append(std::move(stream));
  }
  Value player = Value::dictionary();
  player.set("encrypted_id", Value(video->id));
  player.set("title", Value(video->title));
  player.set("author", Value(video->author));
  player.set("length_seconds", Value(video->durationSeconds));
  player.set("view_count", Value(video->viewCount));
  player.set("status", Value(video->restricted ? "restricted" : "ok"));
  player.set("thumbnail_for_watch", Value(request.baseUrl + "/vi/" + video->id + "/hqdefault.png"));
  player.set("fmt_stream_map", std::move(streams));
  Value content = Value::dictionary();
  content.set("video", std::move(player));
  Value data = Value::dictionary();
  data.set("content", std::move(content));
  data.set("result", Value("ok"));

  const std::string marker = video->blanklessMarker ? "ls.setItem('PIGGYBACK_DATA',\")]}'"
                                                    : "ls.setItem('PIGGYBACK_DATA', \")]}'";
  const std::string script = "<script>\nvar ls = window.localStorage;\nif (ls) {\n  " + marker +
                             escapeForScript(toJson(data)) + "\");\n}\n</script>";
  SandboxResponse page = SandboxResponse::html(200, video->title + " - YouTube",
                                               "<div id=\"player\"></div>\n" + script);
  return page;
}

SandboxResponse VideoSiteProtocol::stream(const SandboxRequest& request) const {
  const CatalogueVideo* video = catalogue_.findVideo(request.text("id").value_or(""));
  const std::string itag = request.text("itag").value_or("");
  const std::string sig = request.text("sig").value_or("");
  if (video != nullptr) {
    for (const Quality& quality : streamsOf(*video)) {
      if (std::to_string(quality.itag) != itag || signature(*video, quality.itag) != sig) continue;
      auto bytes = media_.stream(quality.stream);
      if (!bytes.ok()) {
        return SandboxResponse::withStatus(500, "text/plain; charset=UTF-8",
                                           bytes.error().description() + "\n");
      }
      return SandboxResponse::media("video/mp4", **bytes);
    }
  }
  return SandboxResponse::withStatus(403, "text/plain; charset=UTF-8", "Forbidden\n");
}

std::string VideoSiteProtocol::escapeForScript(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      ++i;
      switch (byte) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '/':
          out += "\\/";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '&':
        case '<':
        case '>':
        case '=':
        case '\'':
          appendHex4(out, byte);
          break;
        default:
          if (byte < 0x20) {
            appendHex4(out, byte);
          } else {
            out += static_cast<char>(byte);
          }
      }
      continue;
    }
    // A UTF-8 sequence; anything malformed stands for U+FFFD.
    const int length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    uint32_t code = length == 4 ? byte & 0x07U : length == 3 ? byte & 0x0FU : byte & 0x1FU;
    bool valid = length > 1 && i + static_cast<size_t>(length) <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3FU);
    }
    if (!valid || code > 0x10FFFF) {
      appendHex4(out, 0xFFFD);
      ++i;
      continue;
    }
    i += static_cast<size_t>(length);
    if (code >= 0x10000) {
      code -= 0x10000;
      appendHex4(out, 0xD800 + (code >> 10));
      appendHex4(out, 0xDC00 + (code & 0x3FF));
    } else {
      appendHex4(out, code);
    }
  }
  return out;
}

void VideoSiteProtocol::registerRoutes(SandboxRouter& router) {
  router.get("/feeds/api/videos", Signing::None,
             [this](const SandboxRequest& request) { return videos(request); });
  router.get("/feeds/api/videos/([A-Za-z0-9_-]{1,64})/comments", Signing::None,
             [this](const SandboxRequest& request) { return comments(request); });
  router.get("/watch", Signing::None,
             [this](const SandboxRequest& request) { return watchPage(request); });
  router.get("/videoplayback", Signing::None,
             [this](const SandboxRequest& request) { return stream(request); });
  router.get("/vi/([A-Za-z0-9_-]{11})/(default|mqdefault|hqdefault)\\.png", Signing::None,
             [this](const SandboxRequest& request) {
               const CatalogueVideo* video = catalogue_.findVideo(request.captures.at(0));
               if (video == nullptr)
                 return SandboxResponse::html(404, "Not Found", "<p>No such video.</p>");
               const std::string& name = request.captures.at(1);
               const int width = name == "default" ? 120 : name == "mqdefault" ? 320 : 480;
               const int height = name == "default" ? 90 : name == "mqdefault" ? 180 : 360;
               return SandboxResponse::png(CoverPainter::paint(
                   0x5000000U + static_cast<uint64_t>(video->index), width, height));
             });
}

}  // namespace mr::sandbox
