// Caches a favorite's preview audio and artwork in the favorites' cache
// folder, so the favorites mix plays it offline. One caching job works at a
// time (the caching lock); the others wait at status 101.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/HttpEngine.h"
#include "base/MRRetryableNetworkOperation.h"
#include "model/MRPlaylistTrackItem.h"
#include "recommend/MRRecommendParts.h"
#include "social/MRAudioExtractor.h"
#include "social/MRFavoriteTrackCaching.h"

namespace mr {

class CDFavoriteTrack;

// The process-wide turn of the caching jobs. A job that finds it taken is
// woken when it is given back.
class MRFavoriteCachingLock {
 public:
  static std::shared_ptr<MRFavoriteCachingLock> shared();

  // Takes it, or notes `waiter` to be woken on the next release.
  bool tryAcquire(Operation& waiter);
  void release();
  bool isHeld() const;

 private:
  mutable std::mutex mutex_;
  bool held_ = false;
  std::vector<std::weak_ptr<Operation>> waiters_;
};

// What the caching works with: the store and the preview sites (through
// recommendation's parts), the engine the files come through, the audio
// extractor (none: a video stays a video) and the cache folder.
struct MRFavoriteCacheParts {
  MRRecommendParts recommend;
  std::shared_ptr<HttpEngine> engine;
  std::shared_ptr<MRAudioExtractor> extractor;
  std::shared_ptr<MRFavoriteCachingLock> lock = MRFavoriteCachingLock::shared();
  // "FavoriteTrack" in the caches folder when empty.
  std::string favoriteCacheFolder;

  const Env& env() const { return *recommend.env; }
  std::string cacheDirectoryPath() const {
    return favoriteCacheFolder.empty() ? env().paths().cacheDir + "/FavoriteTrack"
                                       : favoriteCacheFolder;
  }
};

// The file names of the cache. Only an item hash and a short alphanumeric
// extension ever reach the file system, so no address can name a file
// outside the folder.
namespace favoritecache {
// 32 lower-case hexadecimal digits.
bool isItemHash(const std::string& text);
// The extension of an address's last path component (query and fragment
// left out), when it is 1 to 4 letters or digits; none otherwise.
std::optional<std::string> extensionOfUrl(const std::string& url);
// The audio download's extension: the address's, else "mp4".
std::string audioExtension(const std::string& url);
// True for a file name the cache makes: "<hash>-audio.<ext>" or
// "<hash>-image[.<ext>]".
bool isCacheFileName(const std::string& name);
// Removes the favorite's cached audio and artwork when they are files the
// cache made inside `folder`, and unlinks the local-cache source. An
// artwork that was already a local file of the listener's stays. The
// caller saves.
void uncache(CDFavoriteTrack& favorite, const std::string& folder);
}  // namespace favoritecache

class MRCacheFavoriteTrackOperation final : public MRRetryableNetworkOperation,
                                            public MRFavoriteTrackCaching {
 public:
  // Copies the favorite's title and artist and makes the cache folder.
  MRCacheFavoriteTrackOperation(MRFavoriteCacheParts parts, std::string itemHash);

  void main() override;
  // Also cancels the location or download in flight.
  void cancel() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;
  std::string_view statusTextKey() const override {
    return favoriteTrackCachingStatusTextKey(status());
  }

  std::string subjectFavoriteTrackItemHash() const override { return itemHash_; }
  const std::string& processingTrackTitle() const { return title_; }
  const std::string& processingArtistName() const { return artist_; }

  std::string cacheDirectoryPath() const { return parts_.cacheDirectoryPath(); }
  Status prepareCacheDirectory() const;
  std::string cacheAudioFilePath() const;
  std::string cacheImageFilePath() const;

  // Among the sources with a preview URL, the one of the greatest source id.
  static std::optional<MRPreviewDataSource> getHighestPrioritizedPreviewDataSourceFromTrackItem(
      const MRPlaylistTrackItem& item);
  // Each returns the local file's path, or none (lastError tells why).
  std::optional<std::string> downloadImageWithURL(const std::string& url);
  std::optional<std::string> downloadPreviewDataWithURL(const std::string& url);
  // The M4A's path, or none (the video is then kept).
  std::optional<std::string> extractAudioFromVideo(const std::string& video);

 private:
  void cacheLocked();
  void locatePreviewDataWithSourceSet(MRFavoriteTrackMixTrackItem& item);
  // Runs the request to its end, cancelling it when this job is cancelled.
  std::optional<Error> fetch(HttpRequest request, HttpResponse& response, bool audio);

  MRFavoriteCacheParts parts_;
  const std::string itemHash_;
  std::string title_;
  std::string artist_;
  std::mutex innerMutex_;
  std::shared_ptr<Operation> innerOperation_;
  std::shared_ptr<HttpOperation> innerRequest_;
};

}  // namespace mr
