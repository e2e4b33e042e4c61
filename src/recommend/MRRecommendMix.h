// The recommend mix: the tracks it was opened with first, then up to 50
// stored recommendations of one genre or genre tag picked at random, each
// listed once its sources are resolved and one of them plays.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/MRPlaylistBuildOperation.h"
#include "model/MRPlaylist.h"
#include "recommend/MRRecommendParts.h"
#include "store/CDRecommendTrack.h"

namespace mr {

class MRRecommendMix final : public MRPlaylistBuildOperation, public MRPlaylist {
 public:
  static constexpr size_t kCandidates = 50;

  // A mix of the tag's recommendations, or, with no tag, of the first top
  // track's genre (of all recommendations when it has none).
  MRRecommendMix(MRRecommendParts parts,
                 std::vector<std::shared_ptr<MRRecommendMixTrackItem>> topTracks,
                 std::optional<std::string> subjectGenreTag);
  MRRecommendMix(MRRecommendParts parts, std::shared_ptr<MRRecommendMixTrackItem> topTrack,
                 std::optional<std::string> subjectGenreTag = std::nullopt);

  void main() override;
  // Also cancels the preview checks in flight.
  void cancel() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const std::vector<std::shared_ptr<MRRecommendMixTrackItem>>& topTracks() const {
    return topTracks_;
  }
  const std::optional<std::string>& subjectGenreTag() const { return subjectGenreTag_; }

  std::vector<std::shared_ptr<CDRecommendTrack>> selectRecommendTracksWithEntityController(
      const CDRecommendTrackEntityController& controller) const;
  // Resolves the item's sources on the network queue; lists it on the main
  // thread when one plays.
  void enqueueLocatingPreviewDataForTrackItem(const std::shared_ptr<MRRecommendMixTrackItem>& item);
  bool isTopTrackWithItemHash(const std::string& itemHash) const;

 private:
  void updateProgress();

  MRRecommendParts parts_;
  const std::vector<std::shared_ptr<MRRecommendMixTrackItem>> topTracks_;
  const std::optional<std::string> subjectGenreTag_;
  std::mutex operationsMutex_;
  std::vector<std::shared_ptr<Operation>> arrOperations_;  // preview checks in flight
  std::atomic<size_t> progressMax_{0};
};

}  // namespace mr
