#include "playback/MRSimilarTrackMix.h"

namespace mr {

MRSimilarTrackMix::MRSimilarTrackMix(MRMixParts parts, std::string artistName,
                                     std::string trackTitle)
    : MRLastfmTrackMix(std::move(parts)),
      artistName_(std::move(artistName)),
      trackTitle_(std::move(trackTitle)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRSimilarTrackMix::duplicate() const {
  return std::make_shared<MRSimilarTrackMix>(parts(), artistName_, trackTitle_);
}

void MRSimilarTrackMix::main() {
  MRLastfmTrackMix::main();
  setStatus(kMRServiceOperationStatusProcessing);
  // The listener waits for this mix; the build can wait for the listener.
  const auto serviceQueue = parts().recommendMixBuildKind ? parts().serviceQueue : nullptr;
  std::shared_ptr<MRServiceOperation> stoppedBuild;
  if (serviceQueue) {
    stoppedBuild = serviceQueue->operationRunningForKind(*parts().recommendMixBuildKind);
    if (stoppedBuild) stoppedBuild->cancel();
  }

  const std::string& artist = artistName_;
  const std::string& title = trackTitle_;
  auto tracks =
      requestLastfmTracks([&artist, &title](LastfmAPI& lastfm, auto completion, auto error) {
        return lastfm.requestTrack_GetSimilar(title, artist, true, kSimilarTrackLimit,
                                              std::move(completion), std::move(error));
      });
  if (tracks.ok()) {
    buildFromLastfmTracks(std::move(tracks.value()));
  } else if (!isCancelled()) {
    setLastError(tracks.error());
  }

  if (serviceQueue) {
    // The queue holds one build at a time: the stopped one must be gone
    // before a new one can be added.
    Clock& clock = parts().env().clock();
    if (stoppedBuild)
      stoppedBuild->waitUntilFinished(clock, clock.deadlineAfter(seconds(kBuildWindDownSeconds)));
    serviceQueue->addOperationOfKind(*parts().recommendMixBuildKind);
  }
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
