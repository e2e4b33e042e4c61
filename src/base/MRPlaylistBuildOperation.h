// A job that builds a mix, showing which track it is locating right now.
#pragma once

#include <string>

#include "base/MRRetryableNetworkOperation.h"

namespace mr {

class MRServiceOperationQueue;

class MRPlaylistBuildOperation : public MRRetryableNetworkOperation {
 public:
  using MRRetryableNetworkOperation::MRRetryableNetworkOperation;

  // Observable as "locatingTrackTitle" and "locatingTrackArtist".
  std::string locatingTrackTitle() const;
  void setLocatingTrackTitle(std::string title);
  std::string locatingTrackArtist() const;
  void setLocatingTrackArtist(std::string artist);

  // Adds the build to the service queue, then shows it in the status list.
  void loadTracks(MRServiceOperationQueue& queue);

 private:
  mutable std::mutex locatingMutex_;
  std::string locatingTrackTitle_;
  std::string locatingTrackArtist_;
};

}  // namespace mr
