// Reads a video's watch page as a mobile browser would, and takes a
// directly playable stream address out of the data embedded in it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "external/YouTubeVideoAPI.h"

namespace mr {

inline constexpr const char* kLBYouTubeErrorDomain = "LBYouTubePlayerControllerErrorDomain";
// The extractor's error codes.
inline constexpr int64_t kLBYouTubeErrorPageUnreadable = 1;  // also a link off the watch site
inline constexpr int64_t kLBYouTubeErrorNoStream = 2;
inline constexpr int64_t kLBYouTubeErrorNoData = 3;

class LBYouTubeVideoExtractor {
 public:
  enum Quality { kSmall = 0, kMedium = 1, kLarge = 2 };
  static constexpr const char* kUserAgent =
      "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like "
      "Gecko) "
      "Version/5.1 Mobile/9A334 Safari/7534.48.3";
  // A watch page is far smaller; a larger answer is not one.
  static constexpr size_t kMaxPageBytes = size_t{4} * 1024 * 1024;

  // Starts the download of `youTubeURL` at once, from the site's watch
  // address only: a link to another host fails with code 1 and is never
  // fetched, and neither is a page a redirect took elsewhere read. The
  // page is parsed on the background pool; exactly one of the two
  // callbacks runs, on the main thread (neither after cancel()).
  static std::shared_ptr<LBYouTubeVideoExtractor> start(
      const YouTubeVideoAPI& site, const std::string& youTubeURL, int quality,
      std::function<void(const std::string& streamURL)> success,
      std::function<void(const Error&)> failure);

  void cancel();
  const std::string& youTubeURL() const { return youTubeURL_; }
  int quality() const { return quality_; }
  // Set as soon as the page has given it, before the success callback runs.
  std::optional<std::string> extractedURL() const;

  // The address to fetch for a link: its path and query on the watch site.
  // None when the link names another host, or another port than the site's
  // (a link may say http where the site is https, on their default ports).
  static std::optional<std::string> watchPageAddress(const std::string& watchBaseUrl,
                                                     const std::string& link);

  // The steps on a page, for tests: the stream address of that quality, or
  // the error (codes 1 to 3 of the extractor's domain, or the JSON error).
  static Result<std::string> extractFromPage(const std::string& page, int quality);

 private:
  LBYouTubeVideoExtractor(std::string url, int quality)
      : youTubeURL_(std::move(url)), quality_(quality) {}

  std::string youTubeURL_;
  int quality_;
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::optional<std::string> extractedURL_;
  std::shared_ptr<HttpOperation> connection_;
};

}  // namespace mr
