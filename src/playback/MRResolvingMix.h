// The common part of the mixes made from stored tracks (the favorites, the
// play history): each item's sources are resolved on the network queue
// and the item is placed on the main thread once one of them plays.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "base/MRPlaylistBuildOperation.h"
#include "base/MutexProtected.h"
#include "model/MRPlaylist.h"
#include "playback/MRMixParts.h"

namespace mr {

class MRResolvingMix : public MRPlaylistBuildOperation, public MRPlaylist {
 public:
  // Also cancels every resolver still pending.
  void cancel() override;

  const MRMixParts& parts() const { return parts_; }
  // The number of resolvers the progress counts against.
  size_t progressMax() const { return progressMax_.load(); }
  size_t pendingResolvers() const;

 protected:
  explicit MRResolvingMix(MRMixParts parts);

  using Placement = std::function<void(MRResolvingMix& mix)>;
  // Resolves the item's sources on the network queue (normal priority).
  // When the resolver ends, on the main thread: unless the mix was
  // cancelled and only when one source then plays, `place` runs; then
  // the progress is updated.
  void enqueueResolver(const std::shared_ptr<MRPlaylistTrackItem>& item, Placement place);
  // Runs `place` on the main thread now (an item with nothing to resolve),
  // unless the mix is cancelled by then.
  void placeOnMainThread(Placement place);
  // progressMax becomes the number of resolvers pending.
  void updateProgressMax();
  // (progressMax - pending) / progressMax.
  void updateProgress();
  // Until no resolver is pending and every placement has run, or the mix
  // is cancelled. No time limit: each resolver has its own.
  void waitForPlacements();

 private:
  const MRMixParts parts_;
  MutexProtected<std::vector<std::shared_ptr<Operation>>> arrOperations_;
  std::atomic<size_t> progressMax_{0};
  std::atomic<size_t> placementsPosted_{0};
};

}  // namespace mr
