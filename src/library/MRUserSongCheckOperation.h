// The user song check: every track of the library that was never used for
// recommendation goes into the recommendation queue (its play count as
// priority), while the newly added tracks are uploaded beside it. It does
// its work only when the library's size changed since the last check.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperation.h"
#include "library/MRMusicLibrary.h"
#include "service/ovloRequest.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "store/Database.h"

namespace mr {

class MRUserSongCheckOperation final : public MRServiceOperation {
 public:
  MRUserSongCheckOperation(const Env& env, std::shared_ptr<Database> store,
                           std::shared_ptr<MRNetworkOperationQueue> networkQueue,
                           std::shared_ptr<MRAPIBase> api);

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
  std::shared_ptr<Operation> uploadOperation() const;

 private:
  struct UploadAgreement;

  std::shared_ptr<Database> store_;
  std::shared_ptr<MRNetworkOperationQueue> networkQueue_;
  std::shared_ptr<MRAPIBase> api_;
  std::unique_ptr<CDTrackRecommendationQueueEntityController> ecRecommendQueue_;
  std::unique_ptr<CDTrackUsedForRecommendationEntityController> ecUsedTrack_;
  std::atomic<int32_t> songTotal_{0};
  std::atomic<int32_t> songChecked_{0};
  std::atomic<int32_t> songQueued_{0};
  mutable std::mutex mutex_;
  std::string processingTrackTitle_;
  std::string processingTrackArtist_;
  std::shared_ptr<Operation> upload_;
};

}  // namespace mr
