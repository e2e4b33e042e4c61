#include "social/MRFavoriteTrackCaching.h"

#include "base/Localization.h"

namespace mr {

const char* favoriteTrackCachingStatusTextKey(MRServiceOperationStatus status) {
  switch (status) {
    case kMRCacheFavoriteTrackOperationStatusWaiting:
      return "kMRCacheFavoriteTrackOperationStatusWaiting";
    case kMRCacheFavoriteTrackOperationStatusLocating:
      return "kMRCacheFavoriteTrackOperationStatusLocating";
    case kMRCacheFavoriteTrackOperationStatusDownloading:
      return "kMRCacheFavoriteTrackOperationStatusDownloading";
    case kMRCacheFavoriteTrackOperationStatusSaving:
      return "kMRCacheFavoriteTrackOperationStatusSaving";
    case kMRCacheFavoriteTrackOperationStatusExtracting:
      return "kMRCacheFavoriteTrackOperationStatusExtracting";
    default:
      return statusTextKey(status);
  }
}

void registerFavoriteTrackCachingTexts() {
  registerLocalizedStrings({
      {"kMRCacheFavoriteTrackOperationStatusWaiting", "Waiting to cache"},
      {"kMRCacheFavoriteTrackOperationStatusLocating", "Locating preview"},
      {"kMRCacheFavoriteTrackOperationStatusDownloading", "Downloading"},
      {"kMRCacheFavoriteTrackOperationStatusSaving", "Saving"},
      {"kMRCacheFavoriteTrackOperationStatusExtracting", "Extracting audio"},
  });
}

std::shared_ptr<MRServiceOperation> cacheOperationForItemHash(const MRServiceOperationQueue& queue,
                                                              const std::string& itemHash) {
  return queue.operationRunningMatching([&itemHash](const MRServiceOperation& operation) {
    const auto* caching = dynamic_cast<const MRFavoriteTrackCaching*>(&operation);
    return caching != nullptr && caching->subjectFavoriteTrackItemHash() == itemHash;
  });
}

MRFavoriteTrackCacheJobs::MRFavoriteTrackCacheJobs(std::shared_ptr<MRServiceOperationQueue> queue,
                                                   Factory make)
    : queue_(std::move(queue)), make_(std::move(make)) {}

std::shared_ptr<MRRetryableNetworkOperation>
MRFavoriteTrackCacheJobs::addCacheFavoriteTrackOperationWithItemHash(const std::string& itemHash) {
  auto operation = make_ ? make_(itemHash) : nullptr;
  if (!operation) return nullptr;
  queue_->addOperation(operation);
  queue_->registerWithStatusList(operation);
  return operation;
}

std::shared_ptr<MRServiceOperation> MRFavoriteTrackCacheJobs::cacheOperationForItemHash(
    const std::string& itemHash) const {
  return mr::cacheOperationForItemHash(*queue_, itemHash);
}

}  // namespace mr
