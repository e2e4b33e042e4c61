// The caching of favorites' audio and artwork for offline play: the status
// codes of its steps, their texts, and finding and adding its jobs on the
// service queue.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/MRRetryableNetworkOperation.h"
#include "base/MRServiceOperation.h"
#include "base/MRServiceOperationQueue.h"

namespace mr {

// The caching job's steps. The queue's delegates take each change to one of
// them for a completion too, as for every code of 2 or more.
inline constexpr MRServiceOperationStatus kMRCacheFavoriteTrackOperationStatusWaiting = 101;
inline constexpr MRServiceOperationStatus kMRCacheFavoriteTrackOperationStatusLocating = 102;
inline constexpr MRServiceOperationStatus kMRCacheFavoriteTrackOperationStatusDownloading = 103;
inline constexpr MRServiceOperationStatus kMRCacheFavoriteTrackOperationStatusSaving = 104;
inline constexpr MRServiceOperationStatus kMRCacheFavoriteTrackOperationStatusExtracting = 105;

// The localisation key of a caching job's status text: its own codes, then
// the common ones ("" for failed and unknown codes).
const char* favoriteTrackCachingStatusTextKey(MRServiceOperationStatus status);
// Adds the texts of the caching codes to the string table.
void registerFavoriteTrackCachingTexts();

// Implemented by the caching job, so it can be found by track. The job names
// its texts with favoriteTrackCachingStatusTextKey in statusTextKey().
class MRFavoriteTrackCaching {
 public:
  virtual ~MRFavoriteTrackCaching() = default;
  virtual std::string subjectFavoriteTrackItemHash() const = 0;
};

// The first caching job in the queue whose favorite has this item hash.
std::shared_ptr<MRServiceOperation> cacheOperationForItemHash(const MRServiceOperationQueue& queue,
                                                              const std::string& itemHash);

// Adds caching jobs to a service queue, made by whoever builds them.
class MRFavoriteTrackCacheJobs {
 public:
  using Factory =
      std::function<std::shared_ptr<MRRetryableNetworkOperation>(const std::string& itemHash)>;

  MRFavoriteTrackCacheJobs(std::shared_ptr<MRServiceOperationQueue> queue, Factory make);

  // Always adds a new caching job for the favorite and shows it in the
  // status list; nullptr when the factory makes none.
  std::shared_ptr<MRRetryableNetworkOperation> addCacheFavoriteTrackOperationWithItemHash(
      const std::string& itemHash);
  std::shared_ptr<MRServiceOperation> cacheOperationForItemHash(const std::string& itemHash) const;

 private:
  std::shared_ptr<MRServiceOperationQueue> queue_;
  Factory make_;
};

}  // namespace mr
