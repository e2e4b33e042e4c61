// The Last.fm web service, version 2.0, over the catalogue: GET "/2.0/"
// with "api_key" and "method" in the query, answered in the service's XML,
// <lfm status="ok">...</lfm>. Methods (names ignore case):
//   artist.getInfo      "artist" or "mbid"; "lang" ("jp" or "ja" for the
//                       Japanese biography, English otherwise); "autocorrect"
//   artist.getTopTracks "artist" or "mbid"; "autocorrect"; "page"; "limit" (50)
//   artist.search       "artist"; "page"; "limit" (30); names containing the
//                       text, ignoring case, the best known first
//   artist.getSimilar   "artist" or "mbid"; "autocorrect"; "limit" (all)
//   track.getInfo       "track" and "artist", or "mbid"; "autocorrect"
//   track.getSimilar    "track" and "artist", or "mbid"; "autocorrect";
//                       "limit" (100)
// Without "autocorrect=1" names must match exactly; with it, case and runs
// of blanks do not matter and the answer names the catalogue's spelling.
//
// Errors are HTTP 400 with <lfm status="failed"><error code="N">text</error>
// </lfm>, checked in this order: 10 a missing or wrong API key; 2 a method
// of a package the service does not have; 3 a method it does not have (or
// none); 6 a missing parameter, or an artist or track it does not know.
//
// Unsigned pages for the addresses the answers hand out:
// /lastfm/music/... (artist and track pages) and /lastfm/image/... (PNG
// pictures in the sizes of the "size" attributes).
#pragma once

#include <string>

#include "sandbox/SandboxProtocol.h"

namespace mr::sandbox {

class MusicCatalogue;
struct SandboxRequest;
struct SandboxResponse;

class LastfmProtocol final : public SandboxProtocol {
 public:
  LastfmProtocol(const MusicCatalogue& catalogue, std::string apiKey)
      : catalogue_(catalogue), apiKey_(std::move(apiKey)) {}

  Status createSchema(Connection&) override { return {}; }
  void registerRoutes(SandboxRouter& router) override;

  // One call of "/2.0/".
  SandboxResponse call(const SandboxRequest& request) const;

 private:
  const MusicCatalogue& catalogue_;
  std::string apiKey_;
};

}  // namespace mr::sandbox
