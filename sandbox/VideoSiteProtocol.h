// The video site over the catalogue's videos: the data API's JSON feeds,
// the watch pages and the streams they point at.
//
// GET /feeds/api/videos: "alt" must be "json"; "q" (videos with any of its
// words in their title, keywords or description), "orderby" ("relevance":
// the most words matched, then the most viewed; "viewCount"; "published"),
// "max-results" (25, 1 to 50), "start-index" (from 1), "fields" (the
// "entry(a:b,c,link[@rel='alternate'])" form keeps only those members and
// links). Answers {"feed": {"entry": [...]}} with the data API's members
// ("title/$t", "media$group", "link", "yt$statistics", "app$control" for
// restricted videos); a feed with no entries has no "entry".
// GET /feeds/api/videos/<id>/comments: the comments, newest first,
// {"feed": {"openSearch$totalResults": {"$t": n}, "entry": [...]}}.
//
// GET /watch?v=<id>: the watch page, whose script hands the player its
// data as ls.setItem('PIGGYBACK_DATA', ")]}'<JSON>"); (some pages leave out
// the blank after the comma), the JSON escaped as the body of a JavaScript
// double-quoted string. Its "content" → "video" → "fmt_stream_map" lists 1
// to 4 streams from the best quality to the worst, each with "url",
// "quality" ("hd720", "large", "medium", "small"), "itag" and "type";
// restricted videos list none.
// GET /videoplayback?id=..&itag=..&quality=..&sig=..: the stream (an MP4),
// 403 unless the address is one a watch page gave out.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sandbox/SandboxProtocol.h"

namespace mr::sandbox {

class MusicCatalogue;
class SandboxMedia;
struct SandboxRequest;
struct SandboxResponse;

class VideoSiteProtocol final : public SandboxProtocol {
 public:
  VideoSiteProtocol(const MusicCatalogue& catalogue, SandboxMedia& media);

  Status createSchema(Connection&) override { return {}; }
  void registerRoutes(SandboxRouter& router) override;

  SandboxResponse videos(const SandboxRequest& request) const;
  SandboxResponse comments(const SandboxRequest& request) const;
  SandboxResponse watchPage(const SandboxRequest& request) const;
  SandboxResponse stream(const SandboxRequest& request) const;

  // Text as the body of a JavaScript double-quoted string: quotes and
  // backslashes escaped, "/" as "\/", "&", "<", ">", "=" and "'" as \u
  // escapes, other characters beyond ASCII as \u escapes of their UTF-16
  // units, control characters as \n, \t, ... or \u escapes.
  static std::string escapeForScript(std::string_view text);

 private:
  const MusicCatalogue& catalogue_;
  SandboxMedia& media_;
  std::unordered_map<std::string, std::vector<int>> words_;  // word to videos, in order
};

}  // namespace mr::sandbox
