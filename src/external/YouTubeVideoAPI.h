// The video site's data API: video search and a video's comments, JSON
// feeds over GET. Completions and failures (the transport's, or a
// malformed answer) run on the main thread. The site's watch pages live at
// an address of their own, the only one the stream extractor reads.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "base/Value.h"
#include "external/ExternalEngine.h"

namespace mr {

struct YouTubeVideoEntry {
  YouTubeVideoEntry() = default;
  explicit YouTubeVideoEntry(const Value& entry);

  std::string title;
  // Unset when the entry has no "media$group".
  std::optional<std::string> description, keywords, category, videoID;
  std::string link;  // the watch page
  uint64_t viewCount = 0;
  uint64_t favoriteCount = 0;
  bool isRestricted = false;
};

struct YouTubeVideoComment {
  explicit YouTubeVideoComment(const Value& entry);
  std::string authorName;
  std::string content;
  std::optional<Date> createdAt;
};

struct YouTubeVideoCommentEntry {
  explicit YouTubeVideoCommentEntry(const Value& feed);
  uint64_t totalComments = 0;
  std::optional<std::vector<YouTubeVideoComment>> comments;  // unset without "feed/entry"
};

class YouTubeVideoAPI : public ExternalEngine {
 public:
  YouTubeVideoAPI(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl,
                  std::string watchBaseUrl)
      : ExternalEngine(env, std::move(engine), std::move(baseUrl)),
        watchBaseUrl_(std::move(watchBaseUrl)) {}
  static std::shared_ptr<YouTubeVideoAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<YouTubeVideoAPI> instance);

  // Where the watch pages are served ("https://www.youtube.com").
  const std::string& watchBaseUrl() const { return watchBaseUrl_; }

  // A feed without entries is an empty array.
  std::shared_ptr<HttpOperation> searchWithKeyword(
      const std::string& keyword, int maxResults,
      std::function<void(std::vector<YouTubeVideoEntry>)> completion,
      std::function<void(const Error&)> error);
  std::shared_ptr<HttpOperation> retrieveCommentsWithVideoID(
      const std::string& videoID, std::function<void(YouTubeVideoCommentEntry)> completion,
      std::function<void(const Error&)> error);

  // Both need a JSON object with a "feed" object; "feed/entry", when there,
  // must be an array. Anything else is malformed.
  static Result<std::vector<YouTubeVideoEntry>> parseSearchResult(const std::string& body);
  static Result<YouTubeVideoCommentEntry> parseComments(const std::string& body);

 private:
  std::string watchBaseUrl_;
};

}  // namespace mr
