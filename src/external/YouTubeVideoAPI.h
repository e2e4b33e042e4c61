// The video site's data API: video search and a video's comments, JSON
// feeds over GET; completions on the main thread.
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
  using ExternalEngine::ExternalEngine;
  static std::shared_ptr<YouTubeVideoAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<YouTubeVideoAPI> instance);

  // An array always reaches the completion, possibly empty.
  std::shared_ptr<HttpOperation> searchWithKeyword(
      const std::string& keyword, int maxResults,
      std::function<void(std::vector<YouTubeVideoEntry>)> completion,
      std::function<void(const Error&)> error);
  // None when the answer is not JSON.
  std::shared_ptr<HttpOperation> retrieveCommentsWithVideoID(
      const std::string& videoID,
      std::function<void(std::optional<YouTubeVideoCommentEntry>)> completion,
      std::function<void(const Error&)> error);

  static std::vector<YouTubeVideoEntry> parseSearchResult(const std::string& body);
};

}  // namespace mr
