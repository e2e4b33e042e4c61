// A loopback HTTP server that plays the remote services the client talks to
// (the ovlo account platform, the Mirelune service, Last.fm, the iTunes Store
// search and the video site), for integration tests and the offline demo.
// It keeps what it receives in its own SQLite file in the data folder, so
// tests can ask afterwards what arrived. Last.fm, the store and the video
// site answer from a catalogue made up from a seed (MusicCatalogue), with
// real, short media files made in the data folder's "media" folder when
// first asked for.
//
// start() binds and serves on background threads; stop() (or the
// destructor) ends them. With a TLS port it also serves HTTPS with a
// certificate signed by an authority made at start, whose PEM it writes to
// the data folder as ca.pem.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/AppConfig.h"
#include "base/Clock.h"
#include "base/Error.h"
#include "base/Value.h"
#include "sandbox/MusicCatalogue.h"

namespace httplib {
class Server;
}

namespace mr::sandbox {

class MireluneProtocol;
class OvloAccounts;
class SandboxFaults;
class SandboxMedia;
class SandboxProtocol;
class SandboxRouter;
class SandboxStore;
struct SandboxRequest;

class SandboxServer {
 public:
  struct Options {
    std::string bindAddress = "127.0.0.1";  // also the host the base URLs name
    int port = 0;                           // 0 picks a free port
    std::optional<int> tlsPort;             // serves HTTPS too; 0 picks a free port
    std::string dataFolder;                 // made when missing
    const Clock* clock = nullptr;           // dates of what is stored; the real clock when null
    uint64_t catalogueSeed = MusicCatalogue::kDefaultSeed;
    std::string lastfmApiKey = AppConfig().lastfmApiKey;  // the only key Last.fm accepts
    // Per path prefix (the longest that matches applies, "/" for all): a
    // delay in milliseconds before the answer, and the share of requests
    // answered 503. See SandboxFaults.
    std::map<std::string, int> latencyMs;
    std::map<std::string, double> failRate;
    // Appends one JSON line per answered request (method, path, parameters,
    // status) to this file; none when empty.
    std::string requestLog;
  };

  // A request as it reached a route, before faults applied.
  struct RecordedRequest {
    std::string method;
    std::string path;
    Dictionary parameters;  // the query's or the form's, as strings
  };

  explicit SandboxServer(Options options);
  ~SandboxServer();
  SandboxServer(const SandboxServer&) = delete;
  SandboxServer& operator=(const SandboxServer&) = delete;

  // Opens the store, binds the ports and serves in the background. An
  // error when the folder, the store, the certificates or a port fail;
  // nothing is left running then.
  Status start();
  // Stops serving and waits for the server threads; safe to call twice.
  void stop();
  bool isRunning() const { return running_; }

  int port() const { return port_; }
  int tlsPort() const { return tlsPort_; }
  const std::string& lastfmApiKey() const { return options_.lastfmApiKey; }
  // Made when the server is made, the same for the same seed.
  const MusicCatalogue& catalogue() const { return *catalogue_; }
  // Writes an iTunes Music Library file of `trackCount` tracks of the
  // catalogue (MusicCatalogue::libraryTracks), so that a library the client
  // analyses names artists and tracks the services know.
  Status writeLibrary(const std::string& path, int trackCount) const;

  // "http://127.0.0.1:40123"; empty before start().
  std::string baseUrl() const;
  // "https://127.0.0.1:40124"; empty without TLS.
  std::string tlsBaseUrl() const;
  // The authority's certificate, PEM, and where start() wrote it; empty
  // without TLS.
  const std::string& caCertificatePem() const { return caPem_; }
  std::string caCertificatePath() const;

  // ---- For tests: state set up and read without going through HTTP.
  // Signs up an account as /auth/signup does and answers its account object
  // (aid, aname, tokens, profile).
  Result<Value> addAccount(const std::string& user, const std::string& pass,
                           const std::string& consumerId = "net.mirelune.desktop");
  std::optional<int64_t> accountId(const std::string& user) const;
  // Links a "facebook" or "twitter" account to the account, as a finished
  // browser connection does; answers the connection (with its "cid").
  Result<Value> addConnection(int64_t aid, const std::string& service, const std::string& name);
  // The lines of the account's library uploads, in arrival order: JSON
  // lines parsed, tab-separated ones as {"columns": [...]}.
  std::vector<Value> uploadedTracks(int64_t aid) const;
  int64_t launchCount(int64_t aid) const;
  int64_t favoriteCount(int64_t aid) const;
  int64_t commentCount(int64_t aid) const;
  std::vector<std::string> deviceTokens(int64_t aid) const;
  std::vector<Value> playbackHistory(int64_t aid) const;
  // The requests whose path begins with the prefix, oldest first (the last
  // kMaxRecordedRequests of all).
  std::vector<RecordedRequest> recordedRequests(std::string_view pathPrefix = "/") const;
  void clearRecordedRequests();
  static constexpr size_t kMaxRecordedRequests = 10000;

 private:
  Status startServers();
  void record(const SandboxRequest& request);

  Options options_;
  std::unique_ptr<const MusicCatalogue> catalogue_;
  std::unique_ptr<SandboxMedia> media_;
  std::unique_ptr<SandboxFaults> faults_;
  mutable std::mutex recordedMutex_;
  std::deque<RecordedRequest> recorded_;
  std::unique_ptr<SandboxStore> store_;
  std::unique_ptr<OvloAccounts> accounts_;
  std::vector<std::unique_ptr<SandboxProtocol>> protocols_;
  MireluneProtocol* mirelune_ = nullptr;  // one of protocols_
  std::unique_ptr<SandboxRouter> router_;
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<httplib::Server> tlsServer_;
  std::thread thread_;
  std::thread tlsThread_;
  std::atomic<bool> listenEnded_{false};
  std::atomic<bool> tlsListenEnded_{false};
  std::atomic<bool> running_{false};
  int port_ = 0;
  int tlsPort_ = 0;
  std::string caPem_;
};

// Writes a client configuration file pointing every service of the client
// that the sandbox plays at it: "ovloApiBaseUrl", "ovloWebBaseUrl",
// "mireluneServiceBaseUrl", "mireluneWebBaseUrl", "lastfmBaseUrl",
// "itunesSearchBaseUrl", "videoApiBaseUrl" and "videoWatchBaseUrl", with
// "lastfmApiKey" the key the sandbox accepts. With TLS they name the HTTPS
// address, and ca.pem is written beside the file and named by "caFile".
Status writeClientConfig(const SandboxServer& server, const std::string& configFile);

}  // namespace mr::sandbox
