#include "external/LBYouTubeVideoExtractor.h"

#include "base/Json.h"
#include "base/StringAdditions.h"
#include "base/Url.h"

namespace mr {

namespace {

Error extractorError(int code) {
  static constexpr const char* kDescriptions[] = {
      "", "Couldn't download the HTML source code. URL might be invalid.",
      "Couldn't find the stream URL.", "The JSON data could not be found."};
  return Error(kLBYouTubeErrorDomain, code, kDescriptions[code]);
}

// Only web addresses are played: a page could name anything else.
bool isWebAddress(const Value* candidate) {
  if (candidate == nullptr || !candidate->isString()) return false;
  const auto url = Url::parse(*candidate->asString());
  return url && (url->scheme == "http" || url->scheme == "https") && !url->host.empty();
}

}  // namespace

Result<std::string> LBYouTubeVideoExtractor::extractFromPage(const std::string& page, int quality) {
  if (page.empty() || !isValidUtf8(page)) return extractorError(1);
  static const std::string kMarker = std::string("ls.setItem('PIGGYBACK_DATA', ") + "\"" + ")]}'";
  std::string compact = kMarker;
  std::erase(compact, ' ');
  size_t start = page.find(kMarker);
  size_t markerLength = kMarker.size();
  if (start == std::string::npos) {
    start = page.find(compact);
    markerLength = compact.size();
  }
  if (start == std::string::npos) return extractorError(3);
  start += markerLength;
  const size_t end = page.find("\");", start);
  const std::string_view escaped = std::string_view(page).substr(
      start, end == std::string::npos ? std::string::npos : end - start);
  // Text that is not a string literal ends the extraction with an error, so
  // nobody waits for an answer that never comes.
  const auto unescaped = unescapeStringLiteral(escaped);
  if (!unescaped) return extractorError(3);
  auto json = parseJson(*unescaped);
  if (!json.ok()) return json.error();
  const Array* streams = json->arrayForKeyPath("content/video/fmt_stream_map");
  if (streams == nullptr || streams->empty()) return extractorError(2);
  const size_t count = streams->size();
  const Value* candidates[3] = {
      (*streams)[count - 1].get("url"),
      (*streams)[count >= 3 ? count - 2 : 0].get("url"),
      (*streams)[0].get("url"),
  };
  for (int index = std::clamp(quality, 0, 2); index >= 0; --index) {
    if (isWebAddress(candidates[index])) return *candidates[index]->asString();
  }
  return extractorError(2);
}

std::shared_ptr<LBYouTubeVideoExtractor> LBYouTubeVideoExtractor::start(
    const ExternalEngine& site, const std::string& youTubeURL, int quality,
    std::function<void(const std::string&)> success, std::function<void(const Error&)> failure) {
  std::shared_ptr<LBYouTubeVideoExtractor> extractor(
      new LBYouTubeVideoExtractor(youTubeURL, quality));
  HttpRequest request;
  request.url = youTubeURL;
  request.headers = {{"User-Agent", kUserAgent}};
  HttpCallbacks callbacks;
  const Env& env = site.env();
  callbacks.deliver = [&env](Task task) { env.main().post(std::move(task)); };
  std::weak_ptr<LBYouTubeVideoExtractor> weak = extractor;
  callbacks.onCompletion = [weak, quality, success, failure](HttpOperation&,
                                                             const HttpResponse& response) {
    auto result = extractFromPage(response.bodyText(), quality);
    if (auto self = weak.lock()) {
      std::lock_guard guard(self->mutex_);
      self->connection_.reset();
      if (result.ok()) self->extractedURL_ = *result;
    }
    if (result.ok()) {
      if (success) success(*result);
    } else if (failure) {
      failure(result.error());
    }
  };
  callbacks.onError = [weak, failure](HttpOperation& operation, const Error& error) {
    if (auto self = weak.lock()) {
      std::lock_guard guard(self->mutex_);
      self->connection_.reset();
    }
    if (failure && !operation.isCancelled()) failure(error);
  };
  auto connection = site.engine().enqueue(std::move(request), std::move(callbacks));
  std::lock_guard guard(extractor->mutex_);
  if (!connection->isFinished()) extractor->connection_ = connection;
  return extractor;
}

void LBYouTubeVideoExtractor::cancel() {
  std::shared_ptr<HttpOperation> connection;
  {
    std::lock_guard guard(mutex_);
    connection = connection_;
  }
  if (connection) connection->cancel();
}

std::optional<std::string> LBYouTubeVideoExtractor::extractedURL() const {
  std::lock_guard guard(mutex_);
  return extractedURL_;
}

}  // namespace mr
