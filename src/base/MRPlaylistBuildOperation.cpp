#include "base/MRPlaylistBuildOperation.h"

#include "base/MRServiceOperationQueue.h"

namespace mr {

std::string MRPlaylistBuildOperation::locatingTrackTitle() const {
  std::lock_guard guard(locatingMutex_);
  return locatingTrackTitle_;
}

void MRPlaylistBuildOperation::setLocatingTrackTitle(std::string title) {
  {
    std::lock_guard guard(locatingMutex_);
    locatingTrackTitle_ = std::move(title);
  }
  notifyObservers("locatingTrackTitle");
}

std::string MRPlaylistBuildOperation::locatingTrackArtist() const {
  std::lock_guard guard(locatingMutex_);
  return locatingTrackArtist_;
}

void MRPlaylistBuildOperation::setLocatingTrackArtist(std::string artist) {
  {
    std::lock_guard guard(locatingMutex_);
    locatingTrackArtist_ = std::move(artist);
  }
  notifyObservers("locatingTrackArtist");
}

void MRPlaylistBuildOperation::loadTracks(MRServiceOperationQueue& queue) {
  auto self = std::static_pointer_cast<MRPlaylistBuildOperation>(weak_from_this().lock());
  if (!self) return;  // only operations owned by a shared_ptr can be queued
  queue.addOperation(self);
  queue.registerWithStatusList(self);
}

}  // namespace mr
