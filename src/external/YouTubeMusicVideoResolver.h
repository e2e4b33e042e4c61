// From an artist and a title to the one search result that is the track's
// music video.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "external/YouTubeVideoAPI.h"

namespace mr {

class YouTubeMusicVideoResolver {
 public:
  // Searches "title artist" (three results) and chooses; the completion
  // runs on the main thread with the entry or none (no result qualified),
  // and so does the error, the search's (a malformed answer among them).
  static std::shared_ptr<HttpOperation> retrieveWithTitle(
      YouTubeVideoAPI& api, const std::string& title, const std::string& artist,
      std::function<void(std::optional<YouTubeVideoEntry>)> completion,
      std::function<void(const Error&)> error);
  // The first entry in "Entertainment" or "Music" whose title, keywords and
  // description hold both the title and the artist, ignoring case.
  static std::optional<YouTubeVideoEntry> findMusicVideoEntryFromEntries(
      const std::vector<YouTubeVideoEntry>& entries, const std::string& artist,
      const std::string& title);
};

}  // namespace mr
