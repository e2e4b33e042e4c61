// The listener's favorites (all of them, newest 1000, or one artist's):
// a cached favorite is listed at once, any other once one of its previews
// plays. Newest first, or in a random order when shuffled.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "playback/MRResolvingMix.h"

namespace mr {

class MRFavoriteTrackMix final : public MRResolvingMix {
 public:
  // How many favorites the mix of all of them holds at most.
  static constexpr int64_t kNewestFavorites = 1000;

  // All favorites, or with a subject artist only that artist's.
  explicit MRFavoriteTrackMix(MRMixParts parts,
                              std::optional<std::string> subjectArtist = std::nullopt);

  void main() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const std::optional<std::string>& subjectArtist() const { return subjectArtist_; }
  bool shuffled() const { return shuffled_.load(); }
  // Before the mix starts.
  void setShuffled(bool shuffled) { shuffled_ = shuffled; }

  // Where a new item goes among `tracks` when not shuffled: before the
  // first favorited earlier, so the newest come first and equal dates keep
  // their arrival order.
  static size_t newestFirstPosition(const std::vector<std::shared_ptr<MRPlaylistTrackItem>>& tracks,
                                    const MRFavoriteTrackMixTrackItem& item);

 private:
  // On the main thread.
  void addTrackItem(const std::shared_ptr<MRFavoriteTrackMixTrackItem>& item);

  const std::optional<std::string> subjectArtist_;
  std::atomic<bool> shuffled_{false};
};

}  // namespace mr
