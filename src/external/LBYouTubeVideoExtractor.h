// Reads a video's watch page as a mobile browser would, and takes a
// directly playable stream address out of the data embedded in it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "external/ExternalEngine.h"

namespace mr {

inline constexpr const char* kLBYouTubeErrorDomain = "LBYouTubePlayerControllerErrorDomain";

class LBYouTubeVideoExtractor {
 public:
  enum Quality { kSmall = 0, kMedium = 1, kLarge = 2 };
  static constexpr const char* kUserAgent =
      "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like "
      "Gecko) "
      "Version/5.1 Mobile/9A334 Safari/7534.48.3";

  // Starts the download of `youTubeURL` at once; exactly one of the two
  // callbacks runs, on the main thread.
  static std::shared_ptr<LBYouTubeVideoExtractor> start(
      const ExternalEngine& site, const std::string& youTubeURL, int quality,
      std::function<void(const std::string& streamURL)> success,
      std::function<void(const Error&)> failure);

  void cancel();
  const std::string& youTubeURL() const { return youTubeURL_; }
  std::optional<std::string> extractedURL() const;

  // The steps on a page, for tests: the stream address of that quality, or
  // the error (codes 1 to 3 of the extractor's domain, or the JSON error).
  static Result<std::string> extractFromPage(const std::string& page, int quality);

 private:
  LBYouTubeVideoExtractor(std::string url, int quality)
      : youTubeURL_(std::move(url)), quality_(quality) {}

  std::string youTubeURL_;
  int quality_;
  mutable std::mutex mutex_;
  std::optional<std::string> extractedURL_;
  std::shared_ptr<HttpOperation> connection_;
};

}  // namespace mr
