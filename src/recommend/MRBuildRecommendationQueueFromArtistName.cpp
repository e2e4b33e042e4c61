#include "recommend/MRBuildRecommendationQueueFromArtistName.h"

#include "store/CDTrackRecommendationQueueItem.h"

namespace mr {

MRBuildRecommendationQueueFromArtistName::MRBuildRecommendationQueueFromArtistName(
    MRRecommendParts parts, std::vector<std::string> artistNameList)
    : MRRetryableNetworkOperation(*parts.env),
      parts_(std::move(parts)),
      artistNameList_(std::move(artistNameList)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRBuildRecommendationQueueFromArtistName::duplicate()
    const {
  return std::make_shared<MRBuildRecommendationQueueFromArtistName>(parts_, artistNameList_);
}

void MRBuildRecommendationQueueFromArtistName::cancel() {
  MRRetryableNetworkOperation::cancel();
  std::vector<std::shared_ptr<HttpOperation>> requests;
  {
    std::lock_guard guard(requestsMutex_);
    requests = requests_;
  }
  for (const auto& request : requests) {
    if (request) request->cancel();
  }
}

void MRBuildRecommendationQueueFromArtistName::main() {
  MRRetryableNetworkOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  const size_t total = artistNameList_.size();

  // The answers arrive on other threads; the tracks are queued here, by
  // the one thread that uses the queue's context.
  struct Answers {
    std::mutex mutex;
    size_t finished = 0;
    bool allSucceeded = true;
    std::vector<LastfmTrack> tracks;
  };
  auto answers = std::make_shared<Answers>();
  std::weak_ptr<Operation> weak = weak_from_this();
  const auto finish = [answers, weak, total](std::vector<LastfmTrack> tracks,
                                             std::optional<Error> error) {
    float progress;
    {
      std::lock_guard guard(answers->mutex);
      ++answers->finished;
      for (auto& track : tracks)
        answers->tracks.push_back(std::move(track));
      if (error) answers->allSucceeded = false;
      progress = static_cast<float>(answers->finished) / static_cast<float>(total);
    }
    if (auto self =
            std::static_pointer_cast<MRBuildRecommendationQueueFromArtistName>(weak.lock())) {
      if (error) self->setLastError(error);
      self->setProgress(progress);
      self->wake();
    }
  };
  for (const std::string& name : artistNameList_) {
    if (isCancelled()) break;
    auto request = parts_.lastfm->requestArtist_GetTopTracks(
        name, true, 0, kTopTracks,
        [finish](std::vector<LastfmTrack> tracks) { finish(std::move(tracks), {}); },
        [finish](const Error& error) { finish({}, error); });
    if (!request) finish({}, Error(kLastfmErrorDomain, 0, "The request could not be made."));
    std::lock_guard guard(requestsMutex_);
    requests_.push_back(request);
  }

  Clock& clock = parts_.env->clock();
  const bool allAnswered =
      waitFor(clock, clock.deadlineAfter(seconds(kSecondsPerName * static_cast<double>(total))),
              [&answers, total] {
                std::lock_guard guard(answers->mutex);
                return answers->finished >= total;
              });
  // Nobody waits for a late answer any more.
  {
    std::lock_guard guard(requestsMutex_);
    for (const auto& request : requests_) {
      if (request) request->cancel();
    }
    requests_.clear();
  }

  std::vector<LastfmTrack> tracks;
  bool allSucceeded;
  {
    std::lock_guard guard(answers->mutex);
    tracks = std::move(answers->tracks);
    answers->tracks.clear();
    allSucceeded = answers->allSucceeded && allAnswered;
  }
  CDTrackRecommendationQueueEntityController queue(parts_.store.get());
  for (const LastfmTrack& track : tracks) {
    if (queue.enqueueTrackForRecommendationWithTitle(track.name, "", track.artistName, 1, true))
      ++queuedCount_;
  }
  if (Status saved = queue.save(); !saved.ok()) {
    queuedCount_ = 0;
    setLastError(saved.error());
    setStatus(kMRServiceOperationStatusFailed);
  } else if (isCancelled()) {
    setStatus(kMRServiceOperationStatusCanceled);
  } else {
    setStatus(allSucceeded ? kMRServiceOperationStatusCompleted : kMRServiceOperationStatusFailed);
  }
}

}  // namespace mr
