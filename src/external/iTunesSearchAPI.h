// The iTunes Search service: songs by artist and title (for their preview
// and artwork), music artists by name, and the items of an artist or an
// album by id. JSON over GET; completions on the main thread. Failures
// (the transport's, or a malformed answer) run on the background pool; an
// answer that lists nothing is a completion with no entries.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "base/Value.h"
#include "external/ExternalEngine.h"

namespace mr {

class iTunesEntry {
 public:
  iTunesEntry() = default;
  explicit iTunesEntry(const Value& result);

  std::string wrapperType, kind, artistName, collectionName, trackName, previewUrl, artworkUrl100,
      trackViewUrl, collectionViewUrl, primaryGenreName;
  // 64-bit: the store's ids have passed 2^31.
  uint64_t trackId = 0, collectionId = 0, artistId = 0, primaryGenreId = 0, trackCount = 0;
  std::optional<Date> releaseDate;
  // artworkUrl100 with every "100" made "200".
  std::string artworkUrl200;

  // The 200-pixel artwork when there is one, else the 100-pixel one.
  const std::string& artworkUrl() const {
    return artworkUrl200.empty() ? artworkUrl100 : artworkUrl200;
  }
};

using iTunesCompletion = std::function<void(std::vector<iTunesEntry>)>;
using iTunesFailure = std::function<void(const Error&)>;

class iTunesSearchAPI : public ExternalEngine {
 public:
  using ExternalEngine::ExternalEngine;
  static std::shared_ptr<iTunesSearchAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<iTunesSearchAPI> instance);

  // No country: the current locale's.
  std::shared_ptr<HttpOperation> searchWithArtist(const std::string& artist,
                                                  const std::string& title,
                                                  const std::optional<std::string>& country,
                                                  iTunesCompletion completion,
                                                  iTunesFailure failure);
  std::shared_ptr<HttpOperation> searchMusicArtistWithArtist(
      const std::string& artist, const std::optional<std::string>& country,
      iTunesCompletion completion, iTunesFailure failure);
  std::shared_ptr<HttpOperation> lookupWithId(uint64_t id, const std::optional<std::string>& entity,
                                              const std::optional<std::string>& country,
                                              iTunesCompletion completion, iTunesFailure failure);
  std::shared_ptr<HttpOperation> searchWithParameters(const Dictionary& parameters,
                                                      iTunesCompletion completion,
                                                      iTunesFailure failure);
  std::shared_ptr<HttpOperation> lookupWithParameters(const Dictionary& parameters,
                                                      iTunesCompletion completion,
                                                      iTunesFailure failure);

  // The entries of an answer: malformed unless it is a JSON object with a
  // "results" array; members that are not objects are skipped.
  static Result<std::vector<iTunesEntry>> parseResultData(const std::string& body);

 private:
  std::shared_ptr<HttpOperation> invoke(const std::string& path, const Dictionary& parameters,
                                        iTunesCompletion completion, iTunesFailure failure);
};

}  // namespace mr
