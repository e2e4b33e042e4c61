// Keeps the store stocked with recommendations: takes seeds from the
// recommendation queue, a few at a time, and expands each with a
// MRRecommendTrackOperation until enough recommended tracks exist or the
// seeds run out. Offline it waits rather than fails.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "base/MRServiceOperation.h"
#include "base/MRServiceOperationKind.h"
#include "base/OperationQueue.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

inline constexpr MRServiceOperationKind kMRRecommendMixBuildOperationKind{
    "MRRecommendMixBuildOperation"};

class MRRecommendMixBuildOperation final : public MRServiceOperation {
 public:
  // Stops when more than this many recommendations exist.
  static constexpr int64_t kMostRecommendTracks = 999;
  // With no seeds left, stops when more than this many exist, else refills.
  static constexpr int64_t kEnoughRecommendTracks = 29;
  static constexpr int kHistorySeeds = 200;
  // Seeds in a row whose Last.fm request failed for a temporary cause
  // before the build backs off (or gives up, see giveUpWhenLastfmIsDown).
  static constexpr int kTemporaryFailuresBeforeBackOff = 5;
  // The first back-off; each next one doubles, up to the longest.
  static constexpr double kFirstBackOffSeconds = 30;
  static constexpr double kLongestBackOffSeconds = 15 * 60;
  // The error a build that gave up ends with (domain "mirelune").
  static constexpr int64_t kLastfmNotAnsweringErrorCode = 5301;

  explicit MRRecommendMixBuildOperation(MRRecommendParts parts);
  ~MRRecommendMixBuildOperation() override;
  void main() override;
  // Also cancels the seeds at work.
  void cancel() override;

  // Ends the build with kLastfmNotAnsweringErrorCode instead of backing off
  // when Last.fm keeps failing (the command line: nobody waits for it).
  void setGiveUpWhenLastfmIsDown(bool giveUp) { giveUpWhenLastfmIsDown_ = giveUp; }

  // Boost mode (the first analysis watching) expands five seeds at once.
  bool boostMode() const { return boostMode_.load(); }
  void setBoostMode(bool boost);
  // 5 boosted; else 0 offline, 2 on a working link, 1 otherwise.
  int determineConcurrentOperationCount() const;
  // Seeds from recommendations and recent plays never used as seeds;
  // returns how many were queued.
  Result<int> enqueueFromHistoryAndRecommends();
  // How many similar tracks a seed of that priority asks for.
  static int recommendLimitForPriority(int64_t priority, int64_t initialTotal);

  // Observable as "processingTrackTitle" and "processingTrackArtist".
  std::string processingTrackTitle() const;
  std::string processingTrackArtist() const;
  int seedsStarted() const { return seedsStarted_.load(); }
  int recommendationsStored() const { return recommendationsStored_.load(); }
  const std::shared_ptr<OperationQueue>& recommendOps() const { return recommendOps_; }

 private:
  struct Controllers;
  void setProcessing(std::string title, std::string artist);
  void updateProgress();

  MRRecommendParts parts_;
  std::shared_ptr<OperationQueue> recommendOps_;
  std::atomic<bool> boostMode_{false};
  std::atomic<bool> giveUpWhenLastfmIsDown_{false};
  std::unique_ptr<Controllers> controllers_;
  std::atomic<int> seedsStarted_{0};
  std::atomic<int> seedsPlanned_{0};
  std::atomic<int> recommendationsStored_{0};
  mutable std::mutex processingMutex_;
  std::string processingTrackTitle_;
  std::string processingTrackArtist_;
};

}  // namespace mr
