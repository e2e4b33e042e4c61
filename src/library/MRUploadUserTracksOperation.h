// Reports the library's newly added tracks to the service: every track whose
// title and artist are not in the stored table goes into a text file of one
// JSON object per line, which is uploaded as "user_track/update2". Runs on
// the network queue beside the user song check.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/Env.h"
#include "base/Operation.h"
#include "library/MRMusicLibrary.h"
#include "service/ovloRequest.h"

namespace mr {

class MRUploadUserTracksOperation final : public Operation {
 public:
  MRUploadUserTracksOperation(const Env& env, std::shared_ptr<MRAPIBase> api);

  void main() override;

  // The library's tracks missing from the stored table, in library order;
  // fills latestHashTable with every track.
  std::vector<MRITunesMusicLibraryTrack> findNewlyAddedTracks();
  // "temp.txt" in the caches folder.
  std::string tempFilePath() const;
  // One line of the upload file.
  static std::string uploadLine(const MRITunesMusicLibraryTrack& track);

  std::optional<Error> lastError() const;
  // Called once, when main() ends: true when the stored table now holds every
  // track of the library (they were uploaded, or none was new).
  void setOutcomeHandler(std::function<void(bool upToDate)> handler) {
    outcome_ = std::move(handler);
  }
  size_t uploadedCount() const { return uploaded_; }

 private:
  void finish(bool upToDate);

  const Env& env_;
  std::shared_ptr<MRAPIBase> api_;
  MRMutableUserTrackItemHashTable latestHashTable_;
  mutable std::mutex mutex_;
  std::optional<Error> lastError_;
  std::function<void(bool)> outcome_;
  size_t uploaded_ = 0;
};

}  // namespace mr
