// The tracks the listener played last, newest first, each listed once one
// of its previews plays (a stored stream address may have expired).
#pragma once

#include "playback/MRResolvingMix.h"

namespace mr {

class MRHistoryMix final : public MRResolvingMix {
 public:
  // How many played tracks the mix holds at most.
  static constexpr int64_t kNewestPlayedTracks = 200;

  explicit MRHistoryMix(MRMixParts parts);

  void main() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;
};

}  // namespace mr
