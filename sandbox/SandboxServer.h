// A loopback HTTP server that plays the remote services the client talks to
// (the ovlo account platform and the Mirelune service), for integration
// tests and the offline demo. It keeps what it receives in its own SQLite
// file in the data folder, so tests can ask afterwards what arrived.
//
// start() binds and serves on background threads; stop() (or the
// destructor) ends them. With a TLS port it also serves HTTPS with a
// certificate signed by an authority made at start, whose PEM it writes to
// the data folder as ca.pem.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/Error.h"
#include "base/Value.h"

namespace httplib {
class Server;
}

namespace mr::sandbox {

class MireluneProtocol;
class OvloAccounts;
class SandboxProtocol;
class SandboxRouter;
class SandboxStore;

class SandboxServer {
 public:
  struct Options {
    std::string bindAddress = "127.0.0.1";  // also the host the base URLs name
    int port = 0;                           // 0 picks a free port
    std::optional<int> tlsPort;             // serves HTTPS too; 0 picks a free port
    std::string dataFolder;                 // made when missing
    const Clock* clock = nullptr;           // dates of what is stored; the real clock when null
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
  // The lines of the account's library uploads, in arrival order: JSON
  // lines parsed, tab-separated ones as {"columns": [...]}.
  std::vector<Value> uploadedTracks(int64_t aid) const;
  int64_t launchCount(int64_t aid) const;
  int64_t favoriteCount(int64_t aid) const;
  int64_t commentCount(int64_t aid) const;
  std::vector<std::string> deviceTokens(int64_t aid) const;
  std::vector<Value> playbackHistory(int64_t aid) const;

 private:
  Status startServers();

  Options options_;
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
// "mireluneServiceBaseUrl" and "mireluneWebBaseUrl". With TLS they name the
// HTTPS address, and ca.pem is written beside the file and named by
// "caFile".
Status writeClientConfig(const SandboxServer& server, const std::string& configFile);

}  // namespace mr::sandbox
