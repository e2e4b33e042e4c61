// The common part of the mixes made from a Last.fm track list (an artist's
// top tracks, the tracks similar to one): ask Last.fm, then build the
// items, each listed as soon as one of its sources plays.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/MRPlaylistBuildOperation.h"
#include "base/MutexProtected.h"
#include "external/LastfmAPI.h"
#include "model/MRPlaylist.h"
#include "playback/MRMixParts.h"

namespace mr {

class MRLastfmTrackMix : public MRPlaylistBuildOperation, public MRPlaylist {
 public:
  // Also cancels what the mix waits for: the Last.fm request or the build.
  void cancel() override;

  const MRMixParts& parts() const { return parts_; }

 protected:
  explicit MRLastfmTrackMix(MRMixParts parts);

  using LastfmRequest = std::function<std::shared_ptr<HttpOperation>(
      LastfmAPI& lastfm, std::function<void(std::vector<LastfmTrack>)> completion,
      LastfmErrorBlock error)>;
  // Sends the request and waits for its answer or a cancel. Nothing when
  // cancelled or when nothing could be sent.
  Result<std::vector<LastfmTrack>> requestLastfmTracks(const LastfmRequest& request);
  // Builds the items on a queue of its own and waits for it; each playable
  // item is appended on the main thread as it is ready.
  void buildFromLastfmTracks(std::vector<LastfmTrack> tracks);

 private:
  void setCurrentOp(const std::function<void()>& cancelIt);

  const MRMixParts parts_;
  // Cancels what the mix waits for right now.
  MutexProtected<std::function<void()>> currentOp_;
};

}  // namespace mr
