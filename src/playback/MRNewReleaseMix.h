// The songs of one new release, in the store's order. They carry the
// store's preview, so they are listed without resolving.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/MRPlaylistBuildOperation.h"
#include "base/MutexProtected.h"
#include "model/MRPlaylist.h"
#include "playback/MRMixParts.h"
#include "store/CDNewRelease.h"

namespace mr {

class MRNewReleaseMix final : public MRPlaylistBuildOperation, public MRPlaylist {
 public:
  // What the mix needs of the stored release, read when it is made.
  struct Release {
    uint64_t collectionId = 0;
    std::string artistName;
    std::string title;
  };

  MRNewReleaseMix(MRMixParts parts, const CDNewRelease& subjectRelease);
  MRNewReleaseMix(MRMixParts parts, Release subjectRelease);

  void main() override;
  // Also cancels the build it waits for.
  void cancel() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const Release& subjectRelease() const { return release_; }

 private:
  static Release releaseOf(const CDNewRelease& record);

  const MRMixParts parts_;
  const Release release_;
  MutexProtected<std::shared_ptr<Operation>> currentOp_;
  std::atomic<bool> listed_{false};
};

}  // namespace mr
