// What the three outside-service clients share: one engine per service
// address; answers parsed on the background pool; completions on the main
// thread; an answer that does not parse is an error, never "nothing".
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "base/Dispatcher.h"
#include "base/Env.h"
#include "base/HttpEngine.h"
#include "external/ExternalErrors.h"

namespace mr {

class ExternalEngine {
 public:
  ExternalEngine(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl)
      : env_(env), engine_(std::move(engine)), baseUrl_(std::move(baseUrl)) {
    while (!baseUrl_.empty() && baseUrl_.back() == '/')
      baseUrl_.pop_back();
  }
  virtual ~ExternalEngine() = default;

  const Env& env() const { return env_; }
  const std::string& baseUrl() const { return baseUrl_; }
  HttpEngine& engine() const { return *engine_; }

 protected:
  struct Fetch {
    Fetch(std::string path, std::string query) : path(std::move(path)), query(std::move(query)) {}

    std::string path;
    std::string query;
    bool useCache = true;
    HttpHeaders headers;
    // Failures are posted to the main thread like completions; otherwise
    // they run on the background pool.
    bool failuresOnMain = false;
    // Turns a failed transfer's error into the service's own (the failed
    // operation's response holds the error body).
    std::function<Error(HttpOperation&, const Error&)> describeFailure;
  };

  // GETs path?query. `parse` runs on the background pool with each answer
  // (a cached copy may come before the fresh one); its value goes to
  // `completion` on the main thread, its error to `failure`, as does a
  // failed transfer (not a cancelled one). After a failure nothing more is
  // reported, and an answer that did not parse leaves the response cache.
  template <class R>
  std::shared_ptr<HttpOperation> fetch(Fetch fetch,
                                       std::function<Result<R>(const HttpResponse&)> parse,
                                       std::function<void(R)> completion,
                                       std::function<void(const Error&)> failure) const;

 private:
  const Env& env_;
  std::shared_ptr<HttpEngine> engine_;
  std::string baseUrl_;
};

template <class R>
std::shared_ptr<HttpOperation> ExternalEngine::fetch(
    Fetch fetch, std::function<Result<R>(const HttpResponse&)> parse,
    std::function<void(R)> completion, std::function<void(const Error&)> failure) const {
  HttpRequest request;
  request.url = baseUrl_ + fetch.path + (fetch.query.empty() ? "" : "?" + fetch.query);
  request.useCache = fetch.useCache;
  request.headers = std::move(fetch.headers);

  Dispatcher& main = env_.main();
  auto failed = std::make_shared<std::atomic<bool>>(false);
  auto report = [&main, onMain = fetch.failuresOnMain, failure = std::move(failure),
                 failed](const Error& error) {
    if (failed->exchange(true) || !failure) return;
    if (onMain) {
      main.post([failure, error] { failure(error); });
    } else {
      failure(error);
    }
  };

  HttpCallbacks callbacks;
  ThreadPool& pool = env_.background();
  callbacks.deliver = [&pool](Task task) { pool.post(std::move(task)); };
  std::weak_ptr<HttpEngine> engine = engine_;
  callbacks.onCompletion = [engine, parse = std::move(parse), completion, report, failed, &main](
                               HttpOperation& operation, const HttpResponse& response) {
    Result<R> result = parse(response);
    if (!result.ok()) {
      // Served again from the cache it would fail again.
      if (auto owner = engine.lock()) owner->forgetCachedResponse(operation.request());
      report(result.error());
      return;
    }
    if (failed->load() || !completion) return;
    auto value = std::make_shared<R>(std::move(result).value());
    main.post([completion, value] { completion(std::move(*value)); });
  };
  callbacks.onError = [report, describe = std::move(fetch.describeFailure)](
                          HttpOperation& operation, const Error& error) {
    if (operation.isCancelled()) return;
    report(describe ? describe(operation, error) : error);
  };
  return engine_->enqueue(std::move(request), std::move(callbacks));
}

}  // namespace mr
