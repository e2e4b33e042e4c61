// Shares a finished artist top-track mix with the Mirelune service: the
// artist's information first, then the mix with it. Nothing is shown: a
// step that fails ends the operation quietly.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "base/Error.h"
#include "base/MutexProtected.h"
#include "base/Operation.h"
#include "model/LastfmArtist.h"

namespace mr {

class MRArtistTopTrackMix;

class MRSendArtistTopTrackMixOperation final : public Operation {
 public:
  explicit MRSendArtistTopTrackMixOperation(std::shared_ptr<const MRArtistTopTrackMix> mix);

  void main() override;
  // Also cancels the step in flight.
  void cancel() override;

  const std::shared_ptr<const MRArtistTopTrackMix>& mix() const { return mix_; }
  // The mix's artist, retrieved here on this thread; none when unknown.
  std::optional<LastfmArtist> retrieveArtistInfo();

  // What the steps brought; read after the operation.
  std::optional<LastfmArtist> artistInfo() const { return artistInfo_.get(); }
  std::optional<Error> lastError() const { return lastError_.get(); }
  // The service took the mix.
  bool sent() const { return sent_.get(); }

 private:
  void setCurrentOp(const std::function<void()>& cancelIt);

  const std::shared_ptr<const MRArtistTopTrackMix> mix_;
  MutexProtected<std::optional<LastfmArtist>> artistInfo_;
  MutexProtected<std::optional<Error>> lastError_;
  MutexProtected<bool> sent_{false};
  // Cancels what the operation waits for (the artist lookup or the request).
  MutexProtected<std::function<void()>> currentOp_;
};

}  // namespace mr
