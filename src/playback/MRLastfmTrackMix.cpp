#include "playback/MRLastfmTrackMix.h"

#include "base/OperationQueue.h"
#include "base/PendingAnswer.h"
#include "playback/MRBuildPlaylistFromLastfmTracksOperation.h"

namespace mr {

MRLastfmTrackMix::MRLastfmTrackMix(MRMixParts parts)
    : MRPlaylistBuildOperation(*parts.recommend.env), parts_(std::move(parts)) {}

void MRLastfmTrackMix::cancel() {
  MRPlaylistBuildOperation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
}

void MRLastfmTrackMix::setCurrentOp(const std::function<void()>& cancelIt) {
  currentOp_.set(cancelIt);
  // A cancel that came before the step was known.
  if (cancelIt && isCancelled()) cancelIt();
}

Result<std::vector<LastfmTrack>> MRLastfmTrackMix::requestLastfmTracks(
    const LastfmRequest& request) {
  using Answer = Result<std::vector<LastfmTrack>>;
  if (!parts_.recommend.lastfm || isCancelled()) return std::vector<LastfmTrack>{};
  auto pending = std::make_shared<PendingAnswer<Answer>>(*this);
  auto sent = request(
      *parts_.recommend.lastfm,
      [pending](std::vector<LastfmTrack> tracks) { pending->deliver(Answer(std::move(tracks))); },
      [pending](const Error& error) { pending->deliver(Answer(error)); });
  if (!sent) return std::vector<LastfmTrack>{};
  setCurrentOp([sent] { sent->cancel(); });
  // Every request the engine accepts ends in one of the two callbacks.
  waitFor(parts_.recommend.env->clock(), kNoDeadline, [&pending] { return pending->arrived(); });
  setCurrentOp(nullptr);
  auto answer = pending->detach();
  if (!answer) {
    sent->cancel();
    return std::vector<LastfmTrack>{};
  }
  return std::move(*answer);
}

void MRLastfmTrackMix::buildFromLastfmTracks(std::vector<LastfmTrack> tracks) {
  if (tracks.empty() || isCancelled() || !parts_.recommend.networkQueue) return;
  auto build = std::make_shared<MRBuildPlaylistFromLastfmTracksOperation>(parts_.recommend,
                                                                          std::move(tracks));
  std::weak_ptr<Operation> weakMix = weak_from_this();
  build->setBeginningBlock([weakMix](const std::string& artist, const std::string& title) {
    auto mix = std::static_pointer_cast<MRLastfmTrackMix>(weakMix.lock());
    if (!mix) return;
    mix->setLocatingTrackArtist(artist);
    mix->setLocatingTrackTitle(title);
    mix->invokeProgressCallback();
  });
  std::weak_ptr<MRBuildPlaylistFromLastfmTracksOperation> weakBuild = build;
  build->setProgressBlock([weakMix, weakBuild](const std::shared_ptr<MRPlaylistTrackItem>& item) {
    auto mix = std::static_pointer_cast<MRLastfmTrackMix>(weakMix.lock());
    if (!mix) return;
    mix->appendTrack(item);
    if (auto running = weakBuild.lock()) mix->setProgress(running->progress());
  });

  OperationTracker tracker(*this);
  tracker.track(*build);
  auto queue = std::make_shared<OperationQueue>(className(), 1);
  setCurrentOp([build] { build->cancel(); });
  queue->addOperation(build);
  waitFor(parts_.recommend.env->clock(), kNoDeadline, [&tracker] { return tracker.allEnded(); });
  setCurrentOp(nullptr);
  // The queue waits for a cancelled build to wind down when it goes.
}

}  // namespace mr
