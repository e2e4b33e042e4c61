#include "sandbox/SandboxServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <fstream>
#include <mutex>
#include <utility>

#include "base/AppConfig.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"
#include "sandbox/ITunesSearchProtocol.h"
#include "sandbox/LastfmProtocol.h"
#include "sandbox/LibraryWriter.h"
#include "sandbox/MireluneProtocol.h"
#include "sandbox/OvloAccounts.h"
#include "sandbox/OvloProtocol.h"
#include "sandbox/SandboxCertificates.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxFaults.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxRouter.h"
#include "sandbox/SandboxStore.h"
#include "sandbox/VideoSiteProtocol.h"

namespace mr::sandbox {
namespace {

constexpr size_t kMaxPayload = size_t{64} * 1024 * 1024;  // a large library upload fits
constexpr const char* kCaFileName = "ca.pem";

Error startError(const std::string& what) {
  return sandboxError(SandboxError::InternalFailure, "sandbox: " + what);
}

void configure(httplib::Server& server) {
  // Unlike httplib's default, no SO_REUSEPORT: a port another server holds
  // is an error, not a port shared with it.
  server.set_socket_options([](socket_t socket) {
    const int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  server.set_payload_max_length(kMaxPayload);
  server.set_read_timeout(10, 0);
  server.set_write_timeout(10, 0);
}

// The port bound, or -1.
int bindPort(httplib::Server& server, const std::string& address, int port) {
  if (port == 0) return server.bind_to_any_port(address);
  return server.bind_to_port(address, port) ? port : -1;
}

// Serves until stopped; `ended` tells stop() that listening is over even
// when it never began.
std::thread serve(httplib::Server& server, std::atomic<bool>& ended) {
  ended = false;
  return std::thread([&server, &ended] {
    server.listen_after_bind();
    ended = true;
  });
}

void stopServing(httplib::Server* server, std::thread& thread, const std::atomic<bool>& ended) {
  if (!thread.joinable()) return;
  // httplib ignores stop() until its listen loop has begun, which happens
  // on the serving thread a moment after start() returns.
  while (!server->is_running() && !ended)
    std::this_thread::yield();
  server->stop();
  thread.join();
}

}  // namespace

SandboxServer::SandboxServer(Options options)
    : options_(std::move(options)),
      catalogue_(std::make_unique<const MusicCatalogue>(options_.catalogueSeed)) {}

SandboxServer::~SandboxServer() {
  stop();
}

Status SandboxServer::start() {
  if (running_) return startError("already running");
  const Clock& clock = options_.clock != nullptr ? *options_.clock : Clock::real();
  if (options_.dataFolder.empty()) return startError("no data folder");
  if (Status made = makeDirectories(options_.dataFolder); !made.ok()) return made;

  auto store = SandboxStore::open(options_.dataFolder + "/" + SandboxStore::kFileName);
  if (!store.ok()) return store.error();
  store_ = std::move(store.value());
  accounts_ = std::make_unique<OvloAccounts>(clock);
  protocols_.clear();
  protocols_.push_back(std::make_unique<OvloProtocol>(*store_, *accounts_));
  auto mirelune = std::make_unique<MireluneProtocol>(*store_, *accounts_, clock);
  mirelune_ = mirelune.get();
  protocols_.push_back(std::move(mirelune));
  media_ = std::make_unique<SandboxMedia>(options_.dataFolder + "/media");
  protocols_.push_back(std::make_unique<LastfmProtocol>(*catalogue_, options_.lastfmApiKey));
  protocols_.push_back(std::make_unique<ITunesSearchProtocol>(*catalogue_, *media_));
  protocols_.push_back(std::make_unique<VideoSiteProtocol>(*catalogue_, *media_));

  if (Status schema = store_->transaction([this](Connection& db) -> Status {
        for (const auto& protocol : protocols_) {
          if (Status created = protocol->createSchema(db); !created.ok()) return created;
        }
        return {};
      });
      !schema.ok()) {
    return schema;
  }
  router_ = std::make_unique<SandboxRouter>(*store_, *accounts_);
  faults_ = std::make_unique<SandboxFaults>(options_.latencyMs, options_.failRate);
  if (!faults_->empty()) router_->setFaults(faults_.get());
  router_->setObserver([this](const SandboxRequest& request) { record(request); });
  if (!options_.requestLog.empty()) {
    auto log = std::make_shared<std::ofstream>(options_.requestLog, std::ios::app);
    if (!*log) return Error(kPosixErrorDomain, 1, "cannot write " + options_.requestLog);
    auto logMutex = std::make_shared<std::mutex>();
    router_->setAnswerObserver([log, logMutex](const SandboxRequest& request, int status) {
      Dictionary line{{"method", Value(request.method)},
                      {"path", Value(request.path)},
                      {"parameters", Value(request.parameters)},
                      {"status", Value(static_cast<int64_t>(status))}};
      std::lock_guard guard(*logMutex);
      *log << toJson(Value(std::move(line))) << std::endl;
    });
  }
  for (const auto& protocol : protocols_)
    protocol->registerRoutes(*router_);

  return startServers();
}

Status SandboxServer::startServers() {
  server_ = std::make_unique<httplib::Server>();
  configure(*server_);
  router_->install(*server_, "http");
  port_ = bindPort(*server_, options_.bindAddress, options_.port);
  if (port_ < 0) {
    port_ = 0;
    return startError("cannot listen on " + options_.bindAddress + ":" +
                      std::to_string(options_.port));
  }
  thread_ = serve(*server_, listenEnded_);
  running_ = true;
  log::debug("sandbox: serving {}", baseUrl());
  if (!options_.tlsPort) return {};

  // From here a failure stops the plain server again.
  auto certificates = SandboxCertificates::generate();
  if (!certificates.ok()) {
    stop();
    return certificates.error();
  }
  auto tls = std::make_unique<httplib::SSLServer>(certificates->serverCertificate(),
                                                  certificates->serverKey());
  if (!tls->is_valid()) {
    stop();
    return startError("the TLS server refused its certificate");
  }
  caPem_ = certificates->authorityPem();
  if (Status written = writeFileAtomically(caCertificatePath(), caPem_, 0644); !written.ok()) {
    stop();
    return written;
  }
  tlsServer_ = std::move(tls);
  configure(*tlsServer_);
  router_->install(*tlsServer_, "https");
  tlsPort_ = bindPort(*tlsServer_, options_.bindAddress, *options_.tlsPort);
  if (tlsPort_ < 0) {
    tlsPort_ = 0;
    stop();
    return startError("cannot listen on " + options_.bindAddress + ":" +
                      std::to_string(*options_.tlsPort));
  }
  tlsThread_ = serve(*tlsServer_, tlsListenEnded_);
  log::debug("sandbox: serving {}", tlsBaseUrl());
  return {};
}

void SandboxServer::stop() {
  stopServing(tlsServer_.get(), tlsThread_, tlsListenEnded_);
  stopServing(server_.get(), thread_, listenEnded_);
  running_ = false;
}

std::string SandboxServer::baseUrl() const {
  if (port_ == 0) return {};
  return "http://" + options_.bindAddress + ":" + std::to_string(port_);
}

std::string SandboxServer::tlsBaseUrl() const {
  if (tlsPort_ == 0) return {};
  return "https://" + options_.bindAddress + ":" + std::to_string(tlsPort_);
}

std::string SandboxServer::caCertificatePath() const {
  if (caPem_.empty()) return {};
  return options_.dataFolder + "/" + kCaFileName;
}

Status SandboxServer::writeLibrary(const std::string& path, int trackCount) const {
  return writeLibraryFile(path, catalogue_->libraryTracks(trackCount));
}

void SandboxServer::record(const SandboxRequest& request) {
  std::lock_guard lock(recordedMutex_);
  recorded_.push_back({request.method, request.path, request.parameters});
  if (recorded_.size() > kMaxRecordedRequests) recorded_.pop_front();
}

std::vector<SandboxServer::RecordedRequest> SandboxServer::recordedRequests(
    std::string_view pathPrefix) const {
  std::lock_guard lock(recordedMutex_);
  std::vector<RecordedRequest> found;
  for (const RecordedRequest& request : recorded_) {
    if (std::string_view(request.path).starts_with(pathPrefix)) found.push_back(request);
  }
  return found;
}

void SandboxServer::clearRecordedRequests() {
  std::lock_guard lock(recordedMutex_);
  recorded_.clear();
}

Result<Value> SandboxServer::addAccount(const std::string& user, const std::string& pass,
                                        const std::string& consumerId) {
  if (!store_) return startError("not started");
  return store_->transaction([&](Connection& db) -> Result<Value> {
    auto aid = accounts_->signUp(db, OvloSignUp{user, pass, {}, 0, 0, "en"});
    if (!aid.ok()) return aid.error();
    auto tokens = accounts_->issueTokens(db, *aid, consumerId);
    if (!tokens.ok()) return tokens.error();
    return accounts_->accountObject(db, *aid, *tokens);
  });
}

namespace {

// What a test reads; a store failure is logged and reads as nothing.
template <class T, class Work>
T readOrDefault(SandboxStore* store, Work&& work) {
  if (store == nullptr) return T{};
  auto result = store->transaction(std::forward<Work>(work));
  if (!result.ok()) {
    log::warning("sandbox: {}", result.error().toString());
    return T{};
  }
  return std::move(result.value());
}

}  // namespace

std::optional<int64_t> SandboxServer::accountId(const std::string& user) const {
  return readOrDefault<std::optional<int64_t>>(
      store_.get(), [&](Connection& db) { return accounts_->accountIdForName(db, user); });
}

std::vector<Value> SandboxServer::uploadedTracks(int64_t aid) const {
  return readOrDefault<std::vector<Value>>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().uploadedTracks(db, aid); });
}

int64_t SandboxServer::launchCount(int64_t aid) const {
  return readOrDefault<int64_t>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().launchCount(db, aid); });
}

int64_t SandboxServer::favoriteCount(int64_t aid) const {
  return readOrDefault<int64_t>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().favoriteCount(db, aid); });
}

Result<Value> SandboxServer::addConnection(int64_t aid, const std::string& service,
                                           const std::string& name) {
  return store_->transaction([&](Connection& db) {
    return accounts_->addConnection(db, aid, service, service + ":" + name, name);
  });
}

int64_t SandboxServer::commentCount(int64_t aid) const {
  return readOrDefault<int64_t>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().commentCount(db, aid); });
}

std::vector<std::string> SandboxServer::deviceTokens(int64_t aid) const {
  return readOrDefault<std::vector<std::string>>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().deviceTokens(db, aid); });
}

std::vector<Value> SandboxServer::playbackHistory(int64_t aid) const {
  return readOrDefault<std::vector<Value>>(
      store_.get(), [&](Connection& db) { return mirelune_->catalog().playbackHistory(db, aid); });
}

Status writeClientConfig(const SandboxServer& server, const std::string& configFile) {
  const std::string folder = parentDirectory(configFile);
  if (server.baseUrl().empty()) return startError("the server is not running");
  const bool tls = !server.tlsBaseUrl().empty();
  const std::string url = tls ? server.tlsBaseUrl() : server.baseUrl();
  Value config = Value::dictionary();
  for (const char* key :
       {"ovloApiBaseUrl", "ovloWebBaseUrl", "mireluneServiceBaseUrl", "mireluneWebBaseUrl",
        "lastfmBaseUrl", "itunesSearchBaseUrl", "videoApiBaseUrl", "videoWatchBaseUrl"}) {
    config.set(key, Value(url));
  }
  config.set("lastfmApiKey", Value(server.lastfmApiKey()));
  if (Status made = makeDirectories(folder); !made.ok()) return made;
  if (tls) {
    const std::string caPath = folder + "/" + kCaFileName;
    if (Status written = writeFileAtomically(caPath, server.caCertificatePem(), 0644);
        !written.ok()) {
      return written;
    }
    config.set("caFile", Value(caPath));
  }
  // The client reads the file with the same rules: refuse to write one it would refuse.
  if (auto checked = AppConfig::fromValue(config); !checked.ok()) return checked.error();
  return writeFileAtomically(configFile, toJson(config, {.pretty = true}));
}

}  // namespace mr::sandbox
