#include "playback/MRRecordPlaybackHistoryOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "service/MRAPIPlaybackHistory.h"
#include "service/MRAPITrack.h"

namespace mr {

MRRecordPlaybackHistoryOperation::MRRecordPlaybackHistoryOperation(
    MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune,
    std::shared_ptr<MRPlaylistTrackItem> subjectTrackItem, std::string subjectPlaylistName)
    : parts_(std::move(parts)),
      mirelune_(std::move(mirelune)),
      item_(std::move(subjectTrackItem)),
      playlistName_(std::move(subjectPlaylistName)) {}

void MRRecordPlaybackHistoryOperation::submit() {
  if (parts_.networkQueue)
    parts_.networkQueue->addNetworkOperation(shared_from_this(), QueuePriority::High);
}

void MRRecordPlaybackHistoryOperation::cancel() {
  Operation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
}

void MRRecordPlaybackHistoryOperation::setCurrentOp(const std::function<void()>& cancelIt) {
  currentOp_.set(cancelIt);
  // A cancel that came before the step was known.
  if (cancelIt && isCancelled()) cancelIt();
}

void MRRecordPlaybackHistoryOperation::main() {
  setCurrentThreadName(className());
  if (!item_ || !parts_.env || !mirelune_) return;
  auto artist = retrieveArtistInfo();
  if (!artist || isCancelled()) return;
  if (!updateTrack(*artist) || isCancelled()) return;
  recorded_.set(addPlayback() && !isCancelled());
  setCurrentOp(nullptr);
}

std::optional<LastfmArtist> MRRecordPlaybackHistoryOperation::retrieveArtistInfo() {
  if (!parts_.networkQueue) return std::nullopt;
  Clock& clock = parts_.env->clock();
  auto retrieve = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, item_->artist);
  OperationTracker tracker(*this);
  tracker.track(*retrieve);
  setCurrentOp([retrieve] { retrieve->cancel(); });
  parts_.networkQueue->addNetworkOperation(retrieve, QueuePriority::High);
  if (!waitFor(clock, clock.deadlineAfter(seconds(kStepDeadlineSeconds)),
               [&tracker] { return tracker.allEnded(); })) {
    retrieve->cancel();
    if (!isCancelled()) log::info("No artist information for {} in time", item_->artist);
    return std::nullopt;
  }
  auto artist = retrieve->artistInfo();
  artistInfo_.set(artist);
  return artist;
}

bool MRRecordPlaybackHistoryOperation::updateTrack(const LastfmArtist& artist) {
  Clock& clock = parts_.env->clock();
  auto answer = std::make_shared<PendingAnswer<ServiceIds>>(*this);
  auto request = MRAPITrack(mirelune_).updateWithTrackItem(
      *item_, artist, parts_.currentLanguage(),
      [answer](bool success, const std::optional<std::string>& wtid,
               const std::optional<std::string>& waid,
               const std::optional<std::string>& trackViewUrl) {
        answer->deliver(success ? std::optional<ServiceIds>(ServiceIds{waid, wtid, trackViewUrl})
                                : std::nullopt);
      },
      [answer, title = item_->title](const Error& error) {
        log::info("The service did not take \"{}\": {}", title, error.toString());
        answer->deliver(std::nullopt);
      });
  if (!request) return false;  // not signed in
  setCurrentOp([request] { request->cancel(); });
  waitFor(clock, clock.deadlineAfter(seconds(kStepDeadlineSeconds)),
          [&answer] { return answer->arrived(); });
  auto ids = answer->detach();
  if (!ids) {
    request->cancel();
    return false;
  }
  ids_.set(std::move(*ids));
  return true;
}

bool MRRecordPlaybackHistoryOperation::addPlayback() {
  Clock& clock = parts_.env->clock();
  auto answer = std::make_shared<PendingAnswer<bool>>(*this);
  auto request = MRAPIPlaybackHistory(mirelune_).addWithPlaylistTrackItem(
      *item_, playlistName_,
      [answer](bool success, const std::optional<std::string>&, const std::optional<std::string>&) {
        answer->deliver(success);
      },
      [answer, title = item_->title](const Error& error) {
        log::info("The service did not record playing \"{}\": {}", title, error.toString());
        answer->deliver(false);
      });
  if (!request) return false;
  setCurrentOp([request] { request->cancel(); });
  waitFor(clock, clock.deadlineAfter(seconds(kStepDeadlineSeconds)),
          [&answer] { return answer->arrived(); });
  auto success = answer->detach();
  if (!success) request->cancel();
  return success.value_or(false);
}

}  // namespace mr
