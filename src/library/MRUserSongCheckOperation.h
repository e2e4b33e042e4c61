// The user song check: every track of the library that was never used for
// recommendation goes into the recommendation queue (its play count as
// priority), while the newly added tracks are uploaded beside it. It does
// its work only when the library's size changed since the last check.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperation.h"
#include "base/MRServiceOperationKind.h"
#include "base/MutexProtected.h"
#include "library/MRMusicLibrary.h"
#include "service/ovloRequest.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "store/Database.h"

namespace mr {

class MRUploadUserTracksOperation;

inline constexpr MRServiceOperationKind kMRUserSongCheckOperationKind{"MRUserSongCheckOperation"};

class MRUserSongCheckOperation final : public MRServiceOperation {
 public:
  // After the first 100 tracks, the queued tracks are saved every this many.
  static constexpr int32_t kSaveStep = 5000;

  // `seedBuildKind` is the job that works the queued tracks: the check asks
  // its service queue for one when tracks are waiting. None asks for nothing.
  MRUserSongCheckOperation(const Env& env, std::shared_ptr<Database> store,
                           std::shared_ptr<MRNetworkOperationQueue> networkQueue,
                           std::shared_ptr<MRAPIBase> api,
                           std::optional<MRServiceOperationKind> seedBuildKind = std::nullopt);

  // Ends with status 2, or 12 when the queued tracks could not be saved
  // (lastError() says why; neither the song count nor the uploaded tracks
  // are stored then, so the next start does it all again).
  void main() override;

  // Queues the track unless it was used already; true when it was queued.
  bool checkForASongWithTitle(const std::string& title, const std::string& album,
                              const std::string& artist, uint64_t playCount);

  int32_t songTotal() const { return songTotal_; }
  int32_t songChecked() const { return songChecked_; }
  int32_t songQueued() const { return songQueued_; }
  std::string processingTrackTitle() const;
  std::string processingTrackArtist() const;
  // The upload started by this check, if any.
  std::shared_ptr<MRUploadUserTracksOperation> uploadOperation() const { return upload_.get(); }

 private:
  struct UploadAgreement;
  struct ProcessingTrack {
    std::string title;
    std::string artist;
  };

  // The work of main(), with the controllers made; the status to end with.
  MRServiceOperationStatus checkLibrary();
  bool checkTrack(const std::string& title, const std::string& album, const std::string& artist,
                  uint64_t playCount, const std::string& itemHash);
  // Every track of the library, until the end, a cancel or a failed save.
  void walk(const MRHashedMusicLibrary& library);

  std::shared_ptr<Database> store_;
  std::shared_ptr<MRNetworkOperationQueue> networkQueue_;
  std::shared_ptr<MRAPIBase> api_;
  const std::optional<MRServiceOperationKind> seedBuildKind_;
  std::unique_ptr<CDTrackRecommendationQueueEntityController> ecRecommendQueue_;
  std::unique_ptr<CDTrackUsedForRecommendationEntityController> ecUsedTrack_;
  std::atomic<int32_t> songTotal_{0};
  std::atomic<int32_t> songChecked_{0};
  std::atomic<int32_t> songQueued_{0};
  MutexProtected<ProcessingTrack> processing_;
  MutexProtected<std::shared_ptr<MRUploadUserTracksOperation>> upload_;
  // The check's thread only.
  std::optional<Error> saveFailure_;
  int64_t progressThousandths_ = -1;
};

}  // namespace mr
