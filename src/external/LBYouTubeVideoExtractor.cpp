#include "external/LBYouTubeVideoExtractor.h"

#include <algorithm>
#include <cctype>

#include "base/Json.h"
#include "base/StringAdditions.h"
#include "base/Url.h"

namespace mr {

namespace {

Error extractorError(int64_t code, std::string reason = {}) {
  static constexpr const char* kDescriptions[] = {
      "", "Couldn't download the HTML source code. URL might be invalid.",
      "Couldn't find the stream URL.", "The JSON data could not be found."};
  return Error(kLBYouTubeErrorDomain, code, kDescriptions[code], std::move(reason));
}

// A page that is not on the watch site is not read.
Error offSiteError(const std::string& url, const std::string& watchBaseUrl) {
  return extractorError(kLBYouTubeErrorPageUnreadable,
                        url + " is not on the watch site " + watchBaseUrl);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Only web addresses are played: a page could name anything else.
bool isWebAddress(const Value* candidate) {
  if (candidate == nullptr || !candidate->isString()) return false;
  const auto url = Url::parse(*candidate->asString());
  return url && (url->scheme == "http" || url->scheme == "https") && !url->host.empty();
}

}  // namespace

Result<std::string> LBYouTubeVideoExtractor::extractFromPage(const std::string& page, int quality) {
  if (page.empty() || !isValidUtf8(page)) return extractorError(kLBYouTubeErrorPageUnreadable);
  static const std::string kMarker = std::string("ls.setItem('PIGGYBACK_DATA', ") + "\"" + ")]}'";
  std::string compact = kMarker;
  std::erase(compact, ' ');
  size_t start = page.find(kMarker);
  size_t markerLength = kMarker.size();
  if (start == std::string::npos) {
    start = page.find(compact);
    markerLength = compact.size();
  }
  if (start == std::string::npos) return extractorError(kLBYouTubeErrorNoData);
  start += markerLength;
  const size_t end = page.find("\");", start);
  const std::string_view escaped = std::string_view(page).substr(
      start, end == std::string::npos ? std::string::npos : end - start);
  // Text that is not a string literal ends the extraction with an error, so
  // nobody waits for an answer that never comes.
  const auto unescaped = unescapeStringLiteral(escaped);
  if (!unescaped) return extractorError(kLBYouTubeErrorNoData);
  auto json = parseJson(*unescaped);
  if (!json.ok()) return json.error();
  const Array* streams = json->arrayForKeyPath("content/video/fmt_stream_map");
  if (streams == nullptr || streams->empty()) return extractorError(kLBYouTubeErrorNoStream);
  const size_t count = streams->size();
  const Value* candidates[3] = {
      (*streams)[count - 1].get("url"),
      (*streams)[count >= 3 ? count - 2 : 0].get("url"),
      (*streams)[0].get("url"),
  };
  for (int index = std::clamp(quality, 0, 2); index >= 0; --index) {
    if (isWebAddress(candidates[index])) return *candidates[index]->asString();
  }
  return extractorError(kLBYouTubeErrorNoStream);
}

std::optional<std::string> LBYouTubeVideoExtractor::watchPageAddress(
    const std::string& watchBaseUrl, const std::string& link) {
  const auto site = Url::parse(watchBaseUrl);
  const auto page = Url::parse(link);
  if (!site || !page || site->host.empty()) return std::nullopt;
  if (page->scheme != "http" && page->scheme != "https") return std::nullopt;
  if (!equalsIgnoringCase(site->host, page->host)) return std::nullopt;
  const bool defaultPorts = site->port == 0 && page->port == 0;
  if (!defaultPorts && site->effectivePort() != page->effectivePort()) return std::nullopt;
  // Fetched the way the site is configured (https when it says so).
  Url address = *site;
  address.path = page->path.empty() ? "/" : page->path;
  address.query = page->query;
  address.hasQuery = page->hasQuery;
  address.fragment.clear();
  return address.toString();
}

std::shared_ptr<LBYouTubeVideoExtractor> LBYouTubeVideoExtractor::start(
    const YouTubeVideoAPI& site, const std::string& youTubeURL, int quality,
    std::function<void(const std::string&)> success, std::function<void(const Error&)> failure) {
  std::shared_ptr<LBYouTubeVideoExtractor> extractor(
      new LBYouTubeVideoExtractor(youTubeURL, quality));
  const Env& env = site.env();
  Dispatcher& main = env.main();
  std::weak_ptr<LBYouTubeVideoExtractor> weak = extractor;
  // Every outcome reaches the callbacks on the main thread, unless the
  // extraction was cancelled by then.
  auto finish = [&main, weak, success = std::move(success),
                 failure = std::move(failure)](Result<std::string> result) {
    auto outcome = std::make_shared<Result<std::string>>(std::move(result));
    main.post([weak, success, failure, outcome] {
      if (auto self = weak.lock()) {
        if (self->cancelled_) return;
        std::lock_guard guard(self->mutex_);
        self->connection_.reset();
      }
      if (outcome->ok()) {
        if (success) success(outcome->value());
      } else if (failure) {
        failure(outcome->error());
      }
    });
  };

  const std::string& watchBaseUrl = site.watchBaseUrl();
  const auto address = watchPageAddress(watchBaseUrl, youTubeURL);
  if (!address) {
    finish(offSiteError(youTubeURL, watchBaseUrl));
    return extractor;
  }
  HttpRequest request;
  request.url = *address;
  request.headers = {{"User-Agent", kUserAgent}};
  request.maxBodyBytes = kMaxPageBytes;
  HttpCallbacks callbacks;
  ThreadPool& pool = env.background();
  callbacks.deliver = [&pool](Task task) { pool.post(std::move(task)); };
  callbacks.onCompletion = [weak, quality, finish, watchBaseUrl](HttpOperation&,
                                                                 const HttpResponse& response) {
    // Parsed here, off the main thread: a page can be megabytes.
    auto result = watchPageAddress(watchBaseUrl, response.effectiveUrl)
                      ? extractFromPage(response.bodyText(), quality)
                      : Result<std::string>(offSiteError(response.effectiveUrl, watchBaseUrl));
    if (result.ok()) {
      if (auto self = weak.lock()) {
        std::lock_guard guard(self->mutex_);
        self->extractedURL_ = *result;
      }
    }
    finish(std::move(result));
  };
  callbacks.onError = [finish](HttpOperation& operation, const Error& error) {
    if (!operation.isCancelled()) finish(error);
  };
  auto connection = site.engine().enqueue(std::move(request), std::move(callbacks));
  std::lock_guard guard(extractor->mutex_);
  if (!connection->isFinished()) extractor->connection_ = connection;
  return extractor;
}

void LBYouTubeVideoExtractor::cancel() {
  cancelled_ = true;
  std::shared_ptr<HttpOperation> connection;
  {
    std::lock_guard guard(mutex_);
    connection = std::move(connection_);
  }
  if (connection) connection->cancel();
}

std::optional<std::string> LBYouTubeVideoExtractor::extractedURL() const {
  std::lock_guard guard(mutex_);
  return extractedURL_;
}

}  // namespace mr
