// The iTunes Store search service over the catalogue: GET "/search" and
// "/lookup", answering {"resultCount": n, "results": [...]} with the store's
// result objects ("wrapperType" "track", "artist" or "collection").
//
// /search: "term" (every word must be among the words of the artist, the
// title and the album, ignoring case), "entity" ("song" or "musicTrack" by
// default, "musicArtist", "album", "musicVideo"), "limit" (50, at most 200),
// "country" (two letters). Songs come most played first; a song search also
// finds the tracks the store lists only as music videos (kind
// "music-video"), as the store did. Artists and albums come best known
// first.
// /lookup: "id" (numbers, comma-separated), "entity" and "limit" as above,
// "sort" ("recent": newest albums first). An artist's ID with an entity
// answers the artist, then its albums, songs or music videos; an album's ID
// with "song" answers the album, then its songs in order; a track's ID its
// track. Unknown IDs answer nothing.
//
// A parameter with a value the store would refuse (a country that is not two
// letters, an unknown entity, an ID that is not a number) is HTTP 400 with
// {"errorMessage": ..., "queryParameters": {...}}.
//
// Unsigned addresses the results hand out: previews /itunes/preview/<trackId>
// .m4a (songs) and .m4v (music videos), artwork /itunes/artwork/<key>/
// <w>x<h>bb.png in any size, and store pages /itunes/album/... and
// /itunes/artist/.... Artwork keys are letters, so that replacing "100"
// in an artwork address by another size never breaks it.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "sandbox/SandboxProtocol.h"

namespace mr::sandbox {

class MusicCatalogue;
class SandboxMedia;
struct SandboxRequest;
struct SandboxResponse;

class ITunesSearchProtocol final : public SandboxProtocol {
 public:
  ITunesSearchProtocol(const MusicCatalogue& catalogue, SandboxMedia& media);

  Status createSchema(Connection&) override { return {}; }
  void registerRoutes(SandboxRouter& router) override;

  SandboxResponse search(const SandboxRequest& request) const;
  SandboxResponse lookup(const SandboxRequest& request) const;

 private:
  using WordIndex = std::unordered_map<std::string, std::vector<int>>;
  // The items whose words include every word of the term, in index order.
  static std::vector<int> matching(const WordIndex& index, const std::string& term);
  SandboxResponse preview(const SandboxRequest& request) const;

  const MusicCatalogue& catalogue_;
  SandboxMedia& media_;
  WordIndex trackWords_;  // the tracks the store lists
  WordIndex artistWords_;
  WordIndex albumWords_;
};

}  // namespace mr::sandbox
