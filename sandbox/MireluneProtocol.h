// The Mirelune service. Every call is a signed POST (form-urlencoded, or
// multipart where a file goes along) answering the envelope whose result is
// a service document, except:
//   /artist/update            a bare JSON object {"waid": ...}
//   /genre_tagcloud/generate  a PNG picture of the tags in the named shape
// Calls that only record something answer a null result. "fields"
// parameters are accepted and ignored: answers always carry whole documents.
// Uploads of the library's new tracks (/user_track/update2: one JSON object
// per line, each ended by a line feed, with "artistName", "trackTitle",
// "albumTitle", "playCount" and one dictionary named after the library type)
// are checked line by line and refused whole when a line is malformed.
//
// Unsigned pages for the addresses the documents hand out: /track/<wtid>,
// /listener/<aid>/image.png and /listener/<aid>/tagcloud.png; and the web
// host's terms of use, /app/mirelune-tou.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "sandbox/MireluneCatalog.h"
#include "sandbox/SandboxProtocol.h"

namespace mr::sandbox {

class OvloAccounts;
class SandboxStore;
struct SandboxResponse;

class MireluneProtocol final : public SandboxProtocol {
 public:
  MireluneProtocol(SandboxStore& store, const OvloAccounts& accounts, const Clock& clock)
      : store_(store), clock_(clock), catalog_(clock, accounts) {}

  Status createSchema(Connection& db) override;
  void registerRoutes(SandboxRouter& router) override;

  const MireluneCatalog& catalog() const { return catalog_; }

  // The lines of an upload file, checked; InvalidParameter names the first
  // bad line.
  static Result<std::vector<std::string>> userTrackLines(const std::string& content);

 private:
  // Runs `work` in one transaction and answers its result in the envelope.
  SandboxResponse answer(const std::function<Result<Value>(Connection&)>& work) const;
  void registerArtistsAndTracks(SandboxRouter& router);
  void registerListeners(SandboxRouter& router);
  void registerLogs(SandboxRouter& router);
  void registerPages(SandboxRouter& router);

  SandboxStore& store_;
  const Clock& clock_;
  MireluneCatalog catalog_;
};

}  // namespace mr::sandbox
