// Reports the library's newly added tracks to the service: every track whose
// title and artist are not in the stored table goes into a text file of one
// JSON object per line, which is uploaded as "user_track/update2". Runs on
// the network queue beside the user song check.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Env.h"
#include "base/MutexProtected.h"
#include "base/Operation.h"
#include "library/MRMusicLibrary.h"
#include "service/ovloRequest.h"

namespace mr {

class MRUploadUserTracksOperation final : public Operation {
 public:
  // Reads the library in effect when it runs.
  MRUploadUserTracksOperation(const Env& env, std::shared_ptr<MRAPIBase> api);
  // Works on a library already read (the user song check's).
  MRUploadUserTracksOperation(const Env& env, std::shared_ptr<MRAPIBase> api,
                              std::shared_ptr<const MRHashedMusicLibrary> library);

  void main() override;

  // The library's tracks missing from the stored table, in library order;
  // fills latestHashTable with every track. The tracks belong to the
  // library this operation holds.
  std::vector<const MRITunesMusicLibraryTrack*> findNewlyAddedTracks();
  // This run's upload file in the caches folder, a name of its own so that
  // two runs never share one; empty until it is made. It is removed once
  // sent.
  std::string tempFilePath() const { return tempFilePath_.get(); }
  // One line of the upload file: the track's names and play count, and its
  // metaData under its libraryType, as compact JSON and a line feed.
  static std::string uploadLine(const MRITunesMusicLibraryTrack& track);

  // Why the upload did not bring the service up to date, or none.
  std::optional<Error> lastError() const { return lastError_.get(); }
  size_t uploadedCount() const { return uploaded_; }

  // What to store once the upload ended: `upToDate` when the service has
  // every track (they were sent, or none was new), and then the table of
  // the library's tracks to store, if it changed. With a handler, storing
  // is the handler's (the check stores it once its own work is saved);
  // without one, the upload stores the table itself. A failure the handler
  // returns becomes the upload's error.
  using OutcomeHandler =
      std::function<Status(bool upToDate, std::optional<MRMutableUserTrackItemHashTable> table)>;
  void setOutcomeHandler(OutcomeHandler handler) { outcome_ = std::move(handler); }

 private:
  Status send(const std::vector<const MRITunesMusicLibraryTrack*>& tracks);
  Result<std::string> writeUploadFile(const std::vector<const MRITunesMusicLibraryTrack*>& tracks);
  void finish(bool upToDate, std::optional<MRMutableUserTrackItemHashTable> table);
  void fail(Error error);

  const Env& env_;
  std::shared_ptr<MRAPIBase> api_;
  std::shared_ptr<const MRHashedMusicLibrary> library_;
  MRMutableUserTrackItemHashTable latestHashTable_;
  MutexProtected<std::optional<Error>> lastError_;
  MutexProtected<std::string> tempFilePath_;
  OutcomeHandler outcome_;
  std::atomic<size_t> uploaded_{0};
};

}  // namespace mr
