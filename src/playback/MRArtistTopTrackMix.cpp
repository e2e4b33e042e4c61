#include "playback/MRArtistTopTrackMix.h"

#include "playback/MRSendArtistTopTrackMixOperation.h"

namespace mr {

MRArtistTopTrackMix::MRArtistTopTrackMix(MRMixParts parts, std::string artistName)
    : MRLastfmTrackMix(std::move(parts)), artistName_(std::move(artistName)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRArtistTopTrackMix::duplicate() const {
  return std::make_shared<MRArtistTopTrackMix>(parts(), artistName_);
}

std::shared_ptr<MRSendArtistTopTrackMixOperation> MRArtistTopTrackMix::sendMixToServer() {
  auto self = std::static_pointer_cast<MRArtistTopTrackMix>(weak_from_this().lock());
  if (!self || !parts().recommend.networkQueue) return nullptr;
  auto send = std::make_shared<MRSendArtistTopTrackMixOperation>(std::move(self));
  parts().recommend.networkQueue->addNetworkOperation(send, QueuePriority::Normal);
  return send;
}

void MRArtistTopTrackMix::main() {
  MRLastfmTrackMix::main();
  setStatus(kMRServiceOperationStatusProcessing);
  const std::string& artist = artistName_;
  // A failure leaves the mix empty; the listener is not told.
  auto tracks = requestLastfmTracks([&artist](LastfmAPI& lastfm, auto completion, auto error) {
    return lastfm.requestArtist_GetTopTracks(artist, true, 1, kTopTrackLimit, std::move(completion),
                                             std::move(error));
  });
  if (tracks.ok()) buildFromLastfmTracks(std::move(tracks.value()));
  if (!isCancelled()) sendMixToServer();
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
