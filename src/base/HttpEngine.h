// The HTTP engine: libcurl's multi interface on one network thread.
//
// Every accepted request ends in exactly one final callback: the completion
// for a 2xx answer, the error for a transport failure, a status of 400 or
// more, a time-out or a cancel. So no waiter in the program can hang. With
// the response cache on, a cached body may be delivered first (marked
// isCachedResponse), and a fresh one after it when the copy was stale.
//
// TLS certificates are always verified. Time-outs run on the engine's Clock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/Dispatcher.h"
#include "base/Error.h"
#include "base/Reachability.h"
#include "base/Value.h"

namespace mr {

inline constexpr const char* kHttpErrorDomain = "mirelune.http";

// Transport error codes (statuses of 400 or more are reported as the status).
enum HttpErrorCode : int {
  kHttpErrorUnknown = -1,
  kHttpErrorCancelled = -999,
  kHttpErrorBadURL = -1000,
  kHttpErrorTimedOut = -1001,
  kHttpErrorUnsupportedURL = -1002,
  kHttpErrorCannotFindHost = -1003,
  kHttpErrorCannotConnectToHost = -1004,
  kHttpErrorConnectionLost = -1005,
  kHttpErrorTooManyRedirects = -1007,
  kHttpErrorResponseTooLarge = -1103,  // more than the request's limit, decompressed
  kHttpErrorSecureConnectionFailed = -1200,
  kHttpErrorServerCertificateUntrusted = -1202,
  kHttpErrorCannotWriteToFile = -3003,
};

// A failure that may well not happen on a later try: a time-out, a host
// that did not resolve, a connection that could not be made or was lost, a
// server error (5xx) or "too many requests" (429). Cancels, refusals (other
// 4xx), bad addresses, untrusted certificates and oversize answers are not.
bool isTemporaryHttpFailure(const Error& error);

// What an answer kept in memory may hold once decompressed, unless the
// request says otherwise.
inline constexpr size_t kHttpDefaultMaxBodyBytes = size_t{16} * 1024 * 1024;

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpPart {
  std::string name;
  std::string fileName;
  std::string contentType;
  Bytes data;
};

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;             // with its query for a GET
  HttpHeaders headers;
  // A POST's form fields: urlencoded, or multipart when there are parts.
  std::vector<std::pair<std::string, std::string>> fields;
  std::vector<HttpPart> parts;
  // Streams the body into this file (written beside it, then renamed).
  std::optional<std::string> downloadPath;
  // Keeps what arrived in "<downloadPath>.part" when the transfer is cut
  // short (a lost connection, a time-out, a cancel), so a later request can
  // ask for the rest.
  bool keepPartialDownload = false;
  // The most the body may hold, counted after decompression, so a small
  // compressed answer cannot unpack into gigabytes; beyond it the request
  // fails with kHttpErrorResponseTooLarge. maxBodyBytes bounds every body
  // kept in memory; a download is bounded only by maxDownloadBytes.
  size_t maxBodyBytes = kHttpDefaultMaxBodyBytes;
  std::optional<uint64_t> maxDownloadBytes;
  Duration timeout = std::chrono::seconds(60);
  // The response cache, for plain-HTTP GETs.
  bool useCache = false;
  bool forceReload = false;
};

struct HttpResponse {
  long status = 0;
  HttpHeaders headers;
  Bytes body;
  bool isCachedResponse = false;
  std::string effectiveUrl;

  // The value of a header, matched without regard to case; "" when absent.
  std::string header(std::string_view name) const;
  std::string bodyText() const { return std::string(body.begin(), body.end()); }
};

class HttpOperation;

struct HttpCallbacks {
  std::function<void(HttpOperation&, const HttpResponse&)> onCompletion;
  std::function<void(HttpOperation&, const Error&)> onError;
  std::function<void(double fraction)> onUploadProgress;
  std::function<void(double fraction)> onDownloadProgress;
  // Where the callbacks run: a dispatcher, a pool... The network thread
  // when not set (callbacks must then be quick).
  std::function<void(Task)> deliver;
};

// One request as its caller holds it.
class HttpOperation : public std::enable_shared_from_this<HttpOperation> {
 public:
  const HttpRequest& request() const { return request_; }
  // The final callback (an error of kHttpErrorCancelled) follows.
  void cancel();
  bool isCancelled() const { return cancelled_; }
  bool isFinished() const;
  // After the final callback: the answer (empty on error) and the error.
  HttpResponse response() const;
  std::optional<Error> error() const;
  // Blocks until the final callback ran (or the deadline passed).
  bool waitUntilFinished(Clock& clock, SteadyTime deadline = kNoDeadline);

 private:
  friend class HttpEngine;
  HttpOperation(HttpRequest request, HttpCallbacks callbacks)
      : request_(std::move(request)), callbacks_(std::move(callbacks)) {}
  void reportProgress(bool upload, double fraction);

  const HttpRequest request_;
  const HttpCallbacks callbacks_;
  class HttpEngine* engine_ = nullptr;
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool finished_ = false;   // the outcome is decided
  bool delivered_ = false;  // and its callback has run
  HttpResponse response_;
  std::optional<Error> error_;
};

class HttpEngine {
 public:
  struct Options {
    std::string userAgent = std::string("Mirelune/") + MIRELUNE_VERSION;
    std::vector<std::string> languages = {"en"};  // for "Accept-Language"
    std::string caFile;                           // certificates to trust beside the system's
    std::string cacheDir;                         // the response cache's folder; none when empty
  };

  HttpEngine(Clock& clock, Reachability& reachability, Options options);
  // Ends every request (their error callbacks run) and stops the thread.
  ~HttpEngine();
  // The same, before the engine goes (a process ending while others hold
  // it): requests made afterwards end at once with kHttpErrorCancelled.
  // Not on the engine's own thread.
  void shutdown();
  HttpEngine(const HttpEngine&) = delete;
  HttpEngine& operator=(const HttpEngine&) = delete;

  std::shared_ptr<HttpOperation> enqueue(HttpRequest request, HttpCallbacks callbacks);
  // Drops the cached answer to this request, for a caller that found it
  // unusable (a proxy's page served as the answer must not be served again).
  void forgetCachedResponse(const HttpRequest& request);

  // 6 at once, or 2 on a cellular link.
  int maxConcurrentTransfers() const;
  const Options& options() const { return options_; }
  std::string acceptLanguage() const;

  // The form encoding of fields ("a=1&b=x%20y").
  static std::string formEncode(const std::vector<std::pair<std::string, std::string>>& fields);

 private:
  struct Transfer;
  friend class HttpOperation;

  static size_t onBody(char* data, size_t size, size_t count, void* transfer);
  static size_t onHeader(char* data, size_t size, size_t count, void* transfer);
  static int onProgress(void* transfer, int64_t downloadTotal, int64_t downloaded,
                        int64_t uploadTotal, int64_t uploaded);

  void run();
  void cancelled(HttpOperation& operation);
  void accept(const std::shared_ptr<HttpOperation>& operation);
  void dropCancelled(HttpOperation* operation);
  // Lets go of the engine's reference where the operation's callbacks run:
  // its callbacks may hold the last reference to an owner of this engine,
  // which must not be destroyed on the engine's own thread.
  static void retire(std::shared_ptr<HttpOperation> operation);
  void abortAll();
  bool makeTransfer(const std::shared_ptr<HttpOperation>& operation, bool hadCopy);
  void startTransfers();
  bool deliverFromCache(const std::shared_ptr<HttpOperation>& operation, bool& hadCopy);
  void finishTransfer(Transfer& transfer, int curlCode);
  void endTransfer(Transfer& transfer, const HttpResponse& response,
                   const std::optional<Error>& error);
  void finishOperation(const std::shared_ptr<HttpOperation>& operation, HttpResponse response,
                       std::optional<Error> error);
  void wake();

  Clock& clock_;
  Reachability& reachability_;
  const Options options_;
  std::string caBundle_;  // the system's bundle plus options_.caFile
  Reachability::Token observer_ = 0;

  std::mutex mutex_;
  std::vector<std::shared_ptr<HttpOperation>> incoming_;
  std::vector<HttpOperation*> cancels_;
  bool stopping_ = false;
  std::atomic<int> width_{6};

  // Owned by the network thread.
  void* multi_ = nullptr;
  std::vector<std::pair<std::shared_ptr<HttpOperation>, bool>>
      waiting_;  // with "had a cached copy"
  std::vector<std::unique_ptr<Transfer>> active_;
  class HttpCache* cache_ = nullptr;
  std::thread thread_;
};

class Env;
// The engine of the default surroundings, made on first use; tests replace it.
std::shared_ptr<HttpEngine> sharedHttpEngine();
// The shared engine if it was made; nullptr otherwise.
std::shared_ptr<HttpEngine> sharedHttpEngineIfMade();
void setSharedHttpEngine(std::shared_ptr<HttpEngine> engine);
// Engine options for these surroundings: languages, extra certificates, cache.
HttpEngine::Options httpEngineOptions(const Env& env);

}  // namespace mr
