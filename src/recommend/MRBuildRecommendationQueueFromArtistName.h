// Seeds from the artists the listener names: each artist's five top tracks
// go into the recommendation queue as the listener's own.
#pragma once

#include <string>
#include <vector>

#include "base/MRRetryableNetworkOperation.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

class MRBuildRecommendationQueueFromArtistName final : public MRRetryableNetworkOperation {
 public:
  static constexpr int kSecondsPerName = 30;
  static constexpr int kTopTracks = 5;

  MRBuildRecommendationQueueFromArtistName(MRRecommendParts parts,
                                           std::vector<std::string> artistNameList);
  // Completed (2) when every artist answered, failed (12) when one failed
  // or did not answer in time (the others' tracks are queued all the same),
  // cancelled (11).
  void main() override;
  void cancel() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const std::vector<std::string>& artistNameList() const { return artistNameList_; }
  // The tracks queued by the run.
  int queuedCount() const { return queuedCount_.load(); }

 private:
  MRRecommendParts parts_;
  const std::vector<std::string> artistNameList_;
  std::atomic<int> queuedCount_{0};
  std::mutex requestsMutex_;
  std::vector<std::shared_ptr<HttpOperation>> requests_;
};

}  // namespace mr
