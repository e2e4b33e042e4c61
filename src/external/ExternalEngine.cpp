#include "external/ExternalEngine.h"

namespace mr {

std::shared_ptr<HttpOperation> ExternalEngine::get(
    const std::string& path, const std::string& query, bool useCache,
    std::function<void(const HttpResponse&)> parse,
    std::function<void(HttpOperation&, const Error&)> error, HttpHeaders headers) const {
  HttpRequest request;
  request.url = baseUrl_ + path + (query.empty() ? "" : "?" + query);
  request.useCache = useCache;
  request.headers = std::move(headers);
  HttpCallbacks callbacks;
  ThreadPool& pool = env_.background();
  callbacks.deliver = [&pool](Task task) { pool.post(std::move(task)); };
  callbacks.onCompletion = [parse = std::move(parse)](HttpOperation&,
                                                      const HttpResponse& response) {
    if (parse) parse(response);
  };
  callbacks.onError = std::move(error);
  return engine_->enqueue(std::move(request), std::move(callbacks));
}

}  // namespace mr
