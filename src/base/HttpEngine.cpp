#include "base/HttpEngine.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/Env.h"
#include "base/FileUtil.h"
#include "base/HttpCache.h"
#include "base/Log.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/SystemLocale.h"
#include "base/ThreadPool.h"

namespace mr {

namespace {

constexpr int kLocalWidth = 6;
constexpr int kCellularWidth = 2;
constexpr int kPollMs = 50;  // how often deadlines are looked at

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

Error httpError(int code, const std::string& description) {
  return Error(kHttpErrorDomain, code, description);
}

Error curlError(CURLcode code, const char* detail, const std::string& url) {
  int mapped = kHttpErrorUnknown;
  switch (code) {
    case CURLE_URL_MALFORMAT:
      mapped = kHttpErrorBadURL;
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
      mapped = kHttpErrorUnsupportedURL;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      mapped = kHttpErrorCannotFindHost;
      break;
    case CURLE_COULDNT_CONNECT:
      mapped = kHttpErrorCannotConnectToHost;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      mapped = kHttpErrorTimedOut;
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      mapped = kHttpErrorTooManyRedirects;
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      mapped = kHttpErrorServerCertificateUntrusted;
      break;
    case CURLE_SSL_CONNECT_ERROR:
      mapped = kHttpErrorSecureConnectionFailed;
      break;
    case CURLE_WRITE_ERROR:
      mapped = kHttpErrorCannotWriteToFile;
      break;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
      mapped = kHttpErrorConnectionLost;
      break;
    default:
      break;
  }
  std::string description = curl_easy_strerror(code);
  if (detail != nullptr && detail[0] != '\0') description += ": " + std::string(detail);
  return httpError(mapped, description + " (" + url + ")");
}

void postOrRun(const HttpCallbacks& callbacks, Task task) {
  if (callbacks.deliver) {
    callbacks.deliver(std::move(task));
  } else {
    task();
  }
}

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

}  // namespace

bool isTemporaryHttpFailure(const Error& error) {
  if (error.domain() != kHttpErrorDomain) return false;
  switch (error.code()) {
    case kHttpErrorTimedOut:
    case kHttpErrorCannotFindHost:
    case kHttpErrorCannotConnectToHost:
    case kHttpErrorConnectionLost:
    case 429:
      return true;
    default:
      return error.code() >= 500 && error.code() < 600;
  }
}

// ------------------------------------------------------------ response

std::string HttpResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return {};
}

// ------------------------------------------------------------ operation

void HttpOperation::cancel() {
  std::lock_guard guard(mutex_);
  if (finished_ || cancelled_.exchange(true)) return;
  if (engine_ != nullptr) engine_->cancelled(*this);
}

bool HttpOperation::isFinished() const {
  std::lock_guard guard(mutex_);
  return finished_;
}

HttpResponse HttpOperation::response() const {
  std::lock_guard guard(mutex_);
  return response_;
}

std::optional<Error> HttpOperation::error() const {
  std::lock_guard guard(mutex_);
  return error_;
}

bool HttpOperation::waitUntilFinished(Clock& clock, SteadyTime deadline) {
  std::unique_lock lock(mutex_);
  return clock.waitUntil(lock, cv_, deadline, [this] { return delivered_; });
}

// ------------------------------------------------------------ engine

struct HttpEngine::Transfer {
  std::vector<std::shared_ptr<HttpOperation>> subscribers;
  std::vector<bool> hadCachedCopy;  // per subscriber
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  curl_mime* mime = nullptr;
  std::string postFields;
  HttpResponse response;
  std::FILE* file = nullptr;
  std::string partPath;
  uint64_t received = 0;  // body bytes, decompressed
  bool tooLarge = false;
  SteadyTime deadline;
  std::string cacheKey;
  std::optional<HttpCache::Entry> cached;
  double lastUpload = -1;
  double lastDownload = -1;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  ~Transfer() {
    for (auto& subscriber : subscribers)
      HttpEngine::retire(std::move(subscriber));
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (headers != nullptr) curl_slist_free_all(headers);
    if (mime != nullptr) curl_mime_free(mime);
    if (file != nullptr) {
      std::fclose(file);
      std::remove(partPath.c_str());
    }
  }
  const HttpRequest& request() const { return subscribers.front()->request(); }
};

HttpEngine::HttpEngine(Clock& clock, Reachability& reachability, Options options)
    : clock_(clock), reachability_(reachability), options_(std::move(options)) {
  static CurlGlobal global;
  if (!options_.caFile.empty()) {
    // Trust the system's certificates and the configured ones together.
    std::string bundle;
    if (auto system = readFileToString("/etc/ssl/certs/ca-certificates.crt"); system.ok())
      bundle = *system;
    if (auto extra = readFileToString(options_.caFile); extra.ok()) {
      bundle += "\n" + *extra;
    } else {
      log::error("Cannot read the extra certificates: {}", extra.error().toString());
    }
    const std::string folder = options_.cacheDir.empty() ? "/tmp" : options_.cacheDir;
    caBundle_ = folder + "/ca-bundle-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".pem";
    if (Status made = makeDirectories(folder); made.ok()) {
      (void)writeFileAtomically(caBundle_, bundle, 0600);
    }
  }
  if (!options_.cacheDir.empty()) cache_ = new HttpCache(options_.cacheDir + "/http");
  const auto widthFor = [](NetworkStatus status) {
    return status == NetworkStatus::ReachableViaWWAN ? kCellularWidth : kLocalWidth;
  };
  width_ = widthFor(reachability_.currentStatus());
  observer_ = reachability_.addObserver([this, widthFor](NetworkStatus status) {
    width_ = widthFor(status);
    wake();
  });
  multi_ = curl_multi_init();
  thread_ = std::thread([this] { run(); });
}

HttpEngine::~HttpEngine() {
  shutdown();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
  delete cache_;
  if (!caBundle_.empty()) std::remove(caBundle_.c_str());
}

void HttpEngine::shutdown() {
  {
    std::lock_guard guard(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  reachability_.removeObserver(observer_);
  wake();
  thread_.join();
}

int HttpEngine::maxConcurrentTransfers() const {
  return width_;
}

std::string HttpEngine::acceptLanguage() const {
  std::string joined;
  for (const auto& language : options_.languages) {
    if (!joined.empty()) joined += ", ";
    joined += language;
  }
  return joined + ", en-us";
}

std::string HttpEngine::formEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += NSHTTPQueryDictionary::urlencode(name) + "=" + NSHTTPQueryDictionary::urlencode(value);
  }
  return body;
}

std::shared_ptr<HttpOperation> HttpEngine::enqueue(HttpRequest request, HttpCallbacks callbacks) {
  std::shared_ptr<HttpOperation> operation(
      new HttpOperation(std::move(request), std::move(callbacks)));
  operation->engine_ = this;
  {
    std::lock_guard guard(mutex_);
    if (stopping_) {
      operation->engine_ = nullptr;
    } else {
      incoming_.push_back(operation);
    }
  }
  if (operation->engine_ == nullptr) {
    finishOperation(operation, {}, httpError(kHttpErrorCancelled, "the engine is shutting down"));
  }
  wake();
  return operation;
}

void HttpEngine::forgetCachedResponse(const HttpRequest& request) {
  if (cache_ != nullptr && HttpCache::isCacheable(request))
    cache_->remove(HttpCache::keyFor(request));
}

void HttpEngine::cancelled(HttpOperation& operation) {
  {
    std::lock_guard guard(mutex_);
    cancels_.push_back(&operation);
  }
  wake();
}

void HttpEngine::wake() {
  if (multi_ != nullptr) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void HttpEngine::finishOperation(const std::shared_ptr<HttpOperation>& operation,
                                 HttpResponse response, std::optional<Error> error) {
  {
    std::lock_guard guard(operation->mutex_);
    if (operation->finished_) return;
    operation->finished_ = true;
    operation->engine_ = nullptr;
    operation->response_ = response;
    operation->error_ = error;
  }
  const HttpCallbacks& callbacks = operation->callbacks_;
  auto notify = [operation] {
    std::lock_guard guard(operation->mutex_);
    operation->delivered_ = true;
    operation->cv_.notify_all();
  };
  postOrRun(callbacks,
            [operation, response = std::move(response), error = std::move(error), notify] {
              const HttpCallbacks& target = operation->callbacks_;
              if (error) {
                if (target.onError) target.onError(*operation, *error);
              } else if (target.onCompletion) {
                target.onCompletion(*operation, response);
              }
              notify();
            });
}

// Delivers a cached copy first. Returns true when the request needs the
// network no more (a fresh copy, not forced to reload).
bool HttpEngine::deliverFromCache(const std::shared_ptr<HttpOperation>& operation, bool& hadCopy) {
  hadCopy = false;
  if (cache_ == nullptr || !HttpCache::isCacheable(operation->request())) return false;
  const auto entry = cache_->lookup(HttpCache::keyFor(operation->request()));
  // A copy kept for a request that allowed more is not this one's answer.
  if (!entry || entry->body.size() > operation->request().maxBodyBytes) return false;
  hadCopy = true;
  HttpResponse cached;
  cached.status = entry->status;
  cached.headers = entry->headers;
  cached.body = entry->body;
  cached.isCachedResponse = true;
  cached.effectiveUrl = operation->request().url;
  const bool fresh = entry->expires && *entry->expires > clock_.currentDate().secondsSince1970;
  if (fresh && !operation->request().forceReload) {
    finishOperation(operation, std::move(cached), std::nullopt);
    return true;
  }
  postOrRun(operation->callbacks_, [operation, cached] {
    if (operation->callbacks_.onCompletion && !operation->isCancelled()) {
      operation->callbacks_.onCompletion(*operation, cached);
    }
  });
  return false;
}

void HttpOperation::reportProgress(bool upload, double fraction) {
  const auto& callback = upload ? callbacks_.onUploadProgress : callbacks_.onDownloadProgress;
  if (!callback) return;
  auto self = shared_from_this();
  postOrRun(callbacks_, [self, upload, fraction] {
    const auto& target =
        upload ? self->callbacks_.onUploadProgress : self->callbacks_.onDownloadProgress;
    target(fraction);
  });
}

size_t HttpEngine::onBody(char* data, size_t size, size_t count, void* userData) {
  auto* transfer = static_cast<Transfer*>(userData);
  const size_t bytes = size * count;
  // Counted here, after curl has decompressed: what the body will take.
  const HttpRequest& request = transfer->request();
  const uint64_t limit = transfer->file != nullptr ? request.maxDownloadBytes.value_or(UINT64_MAX)
                                                   : static_cast<uint64_t>(request.maxBodyBytes);
  if (bytes > limit - std::min(limit, transfer->received)) {
    transfer->tooLarge = true;
    return 0;  // a short count aborts the transfer
  }
  transfer->received += bytes;
  if (transfer->file != nullptr) return std::fwrite(data, 1, bytes, transfer->file);
  transfer->response.body.insert(transfer->response.body.end(), data, data + bytes);
  return bytes;
}

size_t HttpEngine::onHeader(char* data, size_t size, size_t count, void* userData) {
  auto* transfer = static_cast<Transfer*>(userData);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.rfind("HTTP/", 0) == 0) {
    transfer->response.headers.clear();  // a new answer after a redirect
  } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ')
      value.remove_prefix(1);
    transfer->response.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return bytes;
}

int HttpEngine::onProgress(void* userData, int64_t downloadTotal, int64_t downloaded,
                           int64_t uploadTotal, int64_t uploaded) {
  auto* transfer = static_cast<Transfer*>(userData);
  // Reported in steps of 1%, and always at the end.
  const auto report = [transfer](bool upload, double& last, int64_t done, int64_t total) {
    if (total <= 0) return;
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (fraction - last < 0.01 && !(fraction >= 1.0 && last < 1.0)) return;
    last = fraction;
    for (const auto& subscriber : transfer->subscribers)
      subscriber->reportProgress(upload, fraction);
  };
  report(true, transfer->lastUpload, uploaded, uploadTotal);
  report(false, transfer->lastDownload, downloaded, downloadTotal);
  return 0;
}

bool HttpEngine::makeTransfer(const std::shared_ptr<HttpOperation>& operation, bool hadCopy) {
  const HttpRequest& request = operation->request();
  auto transfer = std::make_unique<Transfer>();
  transfer->subscribers.push_back(operation);
  transfer->hadCachedCopy.push_back(hadCopy);
  CURL* easy = curl_easy_init();
  transfer->easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caBundle_.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caBundle_.c_str());
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpEngine::onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpEngine::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  static_assert(std::is_same_v<curl_off_t, int64_t>, "progress callback signature");
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &HttpEngine::onProgress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());

  transfer->headers =
      curl_slist_append(transfer->headers, ("Accept-Language: " + acceptLanguage()).c_str());
  for (const auto& [name, value] : request.headers) {
    transfer->headers = curl_slist_append(transfer->headers, (name + ": " + value).c_str());
  }
  if (hadCopy && cache_ != nullptr) {
    transfer->cacheKey = HttpCache::keyFor(request);
    transfer->cached = cache_->lookup(transfer->cacheKey);
    if (transfer->cached && !transfer->cached->etag.empty()) {
      transfer->headers = curl_slist_append(transfer->headers,
                                            ("If-None-Match: " + transfer->cached->etag).c_str());
    }
    if (transfer->cached && !transfer->cached->lastModified.empty()) {
      transfer->headers = curl_slist_append(
          transfer->headers, ("If-Modified-Since: " + transfer->cached->lastModified).c_str());
    }
  } else if (cache_ != nullptr && HttpCache::isCacheable(request)) {
    transfer->cacheKey = HttpCache::keyFor(request);
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

  if (request.method == "POST") {
    if (!request.parts.empty()) {
      transfer->mime = curl_mime_init(easy);
      for (const auto& [name, value] : request.fields) {
        curl_mimepart* part = curl_mime_addpart(transfer->mime);
        curl_mime_name(part, name.c_str());
        curl_mime_data(part, value.data(), value.size());
      }
      for (const auto& file : request.parts) {
        curl_mimepart* part = curl_mime_addpart(transfer->mime);
        curl_mime_name(part, file.name.c_str());
        curl_mime_filename(part, file.fileName.c_str());
        curl_mime_type(part, file.contentType.c_str());
        curl_mime_data(part, reinterpret_cast<const char*>(file.data.data()), file.data.size());
      }
      curl_easy_setopt(easy, CURLOPT_MIMEPOST, transfer->mime);
    } else {
      transfer->postFields = formEncode(request.fields);
      transfer->headers = curl_slist_append(
          transfer->headers, "Content-Type: application/x-www-form-urlencoded; charset=utf-8");
      curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->postFields.c_str());
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(transfer->postFields.size()));
    }
  }
  if (request.downloadPath) {
    transfer->partPath = *request.downloadPath + ".part";
    transfer->file = std::fopen(transfer->partPath.c_str(), "wb");
    if (transfer->file == nullptr) {
      finishOperation(operation, {}, posixError(errno, "cannot write " + transfer->partPath));
      return false;
    }
  }
  transfer->deadline = clock_.deadlineAfter(request.timeout);
  curl_multi_add_handle(static_cast<CURLM*>(multi_), easy);
  active_.push_back(std::move(transfer));
  return true;
}

void HttpEngine::accept(const std::shared_ptr<HttpOperation>& operation) {
  if (operation->isCancelled()) {
    finishOperation(operation, {}, httpError(kHttpErrorCancelled, "cancelled"));
    return;
  }
  bool hadCopy = false;
  if (deliverFromCache(operation, hadCopy)) return;
  // An identical GET already on its way: ride along with it.
  if (HttpCache::isCacheable(operation->request())) {
    const std::string& url = operation->request().url;
    for (auto& transfer : active_) {
      if (HttpCache::isCacheable(transfer->request()) && transfer->request().url == url &&
          transfer->request().maxBodyBytes == operation->request().maxBodyBytes) {
        transfer->subscribers.push_back(operation);
        transfer->hadCachedCopy.push_back(hadCopy);
        return;
      }
    }
  }
  waiting_.emplace_back(operation, hadCopy);
}

void HttpEngine::retire(std::shared_ptr<HttpOperation> operation) {
  if (!operation || !operation->callbacks_.deliver) return;
  const auto& deliver = operation->callbacks_.deliver;  // kept alive by the task
  deliver([operation = std::move(operation)]() mutable { operation.reset(); });
}

void HttpEngine::dropCancelled(HttpOperation* operation) {
  const Error cancelled = httpError(kHttpErrorCancelled, "cancelled");
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if (it->first.get() != operation) continue;
    auto kept = it->first;
    waiting_.erase(it);
    finishOperation(kept, {}, cancelled);
    retire(std::move(kept));
    return;
  }
  for (auto it = active_.begin(); it != active_.end(); ++it) {
    Transfer& transfer = **it;
    for (size_t i = 0; i < transfer.subscribers.size(); ++i) {
      if (transfer.subscribers[i].get() != operation) continue;
      auto kept = transfer.subscribers[i];
      transfer.subscribers.erase(transfer.subscribers.begin() + static_cast<ptrdiff_t>(i));
      transfer.hadCachedCopy.erase(transfer.hadCachedCopy.begin() + static_cast<ptrdiff_t>(i));
      finishOperation(kept, {}, cancelled);
      retire(std::move(kept));
      if (transfer.subscribers.empty()) {
        curl_multi_remove_handle(static_cast<CURLM*>(multi_), transfer.easy);
        active_.erase(it);
      }
      return;
    }
  }
}

void HttpEngine::startTransfers() {
  while (!waiting_.empty() && static_cast<int>(active_.size()) < width_.load()) {
    auto [operation, hadCopy] = waiting_.front();
    waiting_.erase(waiting_.begin());
    makeTransfer(operation, hadCopy);
  }
}

void HttpEngine::endTransfer(Transfer& transfer, const HttpResponse& response,
                             const std::optional<Error>& error) {
  for (size_t i = 0; i < transfer.subscribers.size(); ++i) {
    const auto& subscriber = transfer.subscribers[i];
    // A caller that already holds the cached copy keeps it: "not modified"
    // and failures after it add nothing.
    if (transfer.hadCachedCopy[i] && (error || response.status == 304)) {
      if (error && error->code() > 0) {
        finishOperation(subscriber, {}, error);  // the server refused: say so
      } else {
        std::lock_guard guard(subscriber->mutex_);
        subscriber->finished_ = true;
        subscriber->delivered_ = true;
        subscriber->engine_ = nullptr;
        subscriber->cv_.notify_all();
      }
      continue;
    }
    finishOperation(subscriber, response, error);
  }
}

void HttpEngine::finishTransfer(Transfer& transfer, int curlCode) {
  HttpResponse response = std::move(transfer.response);
  char* effective = nullptr;
  curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effective);
  if (effective != nullptr) response.effectiveUrl = effective;
  curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &response.status);
  std::optional<Error> error;
  if (transfer.tooLarge) {
    const HttpRequest& request = transfer.request();
    const uint64_t limit =
        transfer.file != nullptr ? request.maxDownloadBytes.value_or(0) : request.maxBodyBytes;
    response.body.clear();
    response.body.shrink_to_fit();
    error =
        httpError(kHttpErrorResponseTooLarge, "the answer is larger than " + std::to_string(limit) +
                                                  " bytes (" + request.url + ")");
  } else if (curlCode != CURLE_OK) {
    error =
        curlError(static_cast<CURLcode>(curlCode), transfer.errorBuffer, transfer.request().url);
  } else if (response.status >= 400) {
    error = httpError(static_cast<int>(response.status), "the server answered " +
                                                             std::to_string(response.status) +
                                                             " (" + transfer.request().url + ")");
  }
  if (transfer.file != nullptr) {
    const bool closed = std::fclose(transfer.file) == 0;
    transfer.file = nullptr;
    if (!error && !closed)
      error = httpError(kHttpErrorCannotWriteToFile, "cannot write " + transfer.partPath);
    if (!error &&
        std::rename(transfer.partPath.c_str(), transfer.request().downloadPath->c_str()) != 0) {
      error = posixError(errno, "cannot write " + *transfer.request().downloadPath);
    }
    // Only a transfer cut short keeps its part: a refusal's body is no part
    // of the file, and a file that could not be written is no use.
    const bool cutShort = error && error->domain() == kHttpErrorDomain && error->code() < 0 &&
                          error->code() != kHttpErrorCannotWriteToFile && !transfer.tooLarge;
    if (error && !(cutShort && transfer.request().keepPartialDownload))
      std::remove(transfer.partPath.c_str());
  }
  if (!error && cache_ != nullptr && !transfer.cacheKey.empty()) {
    const Date now = clock_.currentDate();
    if (response.status == 304 && transfer.cached) {
      transfer.cached->expires = HttpCache::expiryOf(response.headers, now);
      cache_->store(transfer.cacheKey, *transfer.cached);
    } else if (response.status >= 200 && response.status < 300) {
      HttpCache::Entry entry;
      entry.status = response.status;
      entry.headers = response.headers;
      entry.body = response.body;
      entry.etag = response.header("ETag");
      entry.lastModified = response.header("Last-Modified");
      entry.expires = HttpCache::expiryOf(response.headers, now);
      cache_->store(transfer.cacheKey, entry);
    }
  }
  endTransfer(transfer, response, error);
}

void HttpEngine::abortAll() {
  const Error stopped = httpError(kHttpErrorCancelled, "the engine is shutting down");
  std::vector<std::shared_ptr<HttpOperation>> pending;
  {
    std::lock_guard guard(mutex_);
    pending.swap(incoming_);
    cancels_.clear();
  }
  for (auto& operation : pending) {
    finishOperation(operation, {}, stopped);
    retire(std::move(operation));
  }
  for (auto& [operation, hadCopy] : waiting_) {
    finishOperation(operation, {}, stopped);
    retire(std::move(operation));
  }
  waiting_.clear();
  for (auto& transfer : active_) {
    curl_multi_remove_handle(static_cast<CURLM*>(multi_), transfer->easy);
    for (auto& subscriber : transfer->subscribers)
      finishOperation(subscriber, {}, stopped);
  }
  active_.clear();
}

void HttpEngine::run() {
  setCurrentThreadName("http");
  auto* multi = static_cast<CURLM*>(multi_);
  for (;;) {
    std::vector<std::shared_ptr<HttpOperation>> arrived;
    std::vector<HttpOperation*> cancels;
    bool stopping = false;
    {
      std::lock_guard guard(mutex_);
      arrived.swap(incoming_);
      cancels.swap(cancels_);
      stopping = stopping_;
    }
    if (stopping) {
      const Error stopped = httpError(kHttpErrorCancelled, "the engine is shutting down");
      for (auto& operation : arrived) {
        finishOperation(operation, {}, stopped);
        retire(std::move(operation));
      }
      abortAll();
      return;
    }
    for (auto& operation : arrived) {
      accept(operation);
      retire(std::move(operation));
    }
    for (HttpOperation* operation : cancels)
      dropCancelled(operation);
    startTransfers();

    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* transfer = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
      const CURLcode result = message->data.result;
      curl_multi_remove_handle(multi, message->easy_handle);
      finishTransfer(*transfer, result);
      std::erase_if(active_, [transfer](const auto& owned) { return owned.get() == transfer; });
    }
    // Time-outs are measured on the engine's clock.
    const SteadyTime now = clock_.now();
    for (auto it = active_.begin(); it != active_.end();) {
      if ((*it)->deadline > now) {
        ++it;
        continue;
      }
      curl_multi_remove_handle(multi, (*it)->easy);
      endTransfer(
          **it, {},
          httpError(kHttpErrorTimedOut, "the request timed out (" + (*it)->request().url + ")"));
      it = active_.erase(it);
    }
    startTransfers();
    curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
  }
}

namespace {
SharedInstance<HttpEngine>& sharedEngineSlot() {
  static SharedInstance<HttpEngine> slot;
  return slot;
}
}  // namespace

HttpEngine::Options httpEngineOptions(const Env& env) {
  HttpEngine::Options options;
  options.languages = preferredLanguages();
  options.caFile = env.config().caFile;
  options.cacheDir = env.paths().cacheDir;
  return options;
}

std::shared_ptr<HttpEngine> sharedHttpEngineIfMade() {
  return sharedEngineSlot().peek();
}

std::shared_ptr<HttpEngine> sharedHttpEngine() {
  return sharedEngineSlot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<HttpEngine>(env.clock(), env.reachability(), httpEngineOptions(env));
  });
}

void setSharedHttpEngine(std::shared_ptr<HttpEngine> engine) {
  sharedEngineSlot().replace(std::move(engine));
}

}  // namespace mr
