#include "external/YouTubeMusicVideoResolver.h"

#include "model/CDUtility.h"

namespace mr {

std::optional<YouTubeVideoEntry> YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries(
    const std::vector<YouTubeVideoEntry>& entries, const std::string& artist,
    const std::string& title) {
  const std::string wantedTitle = CDUtility::lowercase(title);
  const std::string wantedArtist = CDUtility::lowercase(artist);
  for (const auto& entry : entries) {
    const std::string category = entry.category.value_or("");
    if (category != "Entertainment" && category != "Music") continue;
    const std::string text = CDUtility::lowercase(entry.title + " " + entry.keywords.value_or("") +
                                                  " " + entry.description.value_or(""));
    if (text.find(wantedTitle) != std::string::npos &&
        text.find(wantedArtist) != std::string::npos) {
      return entry;
    }
  }
  return std::nullopt;
}

std::shared_ptr<HttpOperation> YouTubeMusicVideoResolver::retrieveWithTitle(
    YouTubeVideoAPI& api, const std::string& title, const std::string& artist,
    std::function<void(std::optional<YouTubeVideoEntry>)> completion,
    std::function<void(const Error&)> error) {
  const Env& env = api.env();
  return api.searchWithKeyword(
      title + " " + artist, 3,
      [&env, artist, title, completion](std::vector<YouTubeVideoEntry> entries) {
        // Chosen off the main thread, answered on it.
        auto shared = std::make_shared<std::vector<YouTubeVideoEntry>>(std::move(entries));
        env.background().post([&env, shared, artist, title, completion] {
          auto chosen = std::make_shared<std::optional<YouTubeVideoEntry>>(
              findMusicVideoEntryFromEntries(*shared, artist, title));
          if (completion) env.main().post([completion, chosen] { completion(std::move(*chosen)); });
        });
      },
      std::move(error));
}

}  // namespace mr
