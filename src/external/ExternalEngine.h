// What the three outside-service clients share: one engine per service
// address; answers parsed on the background pool; completions on the main
// thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Env.h"
#include "base/HttpEngine.h"

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
  // GETs path?query. `parse` runs on the background pool with the body;
  // `error` runs there too, with the failed operation (its response holds
  // the error body) and the error.
  std::shared_ptr<HttpOperation> get(const std::string& path, const std::string& query,
                                     bool useCache, std::function<void(const HttpResponse&)> parse,
                                     std::function<void(HttpOperation&, const Error&)> error,
                                     HttpHeaders headers = {}) const;

 private:
  const Env& env_;
  std::shared_ptr<HttpEngine> engine_;
  std::string baseUrl_;
};

}  // namespace mr
