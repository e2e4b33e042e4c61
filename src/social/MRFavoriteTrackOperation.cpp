#include "social/MRFavoriteTrackOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "service/MRAPIFavoriteTrack.h"
#include "service/MRAPITrack.h"

namespace mr {

MRFavoriteTrackOperation::MRFavoriteTrackOperation(
    MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune,
    std::shared_ptr<MRFavoriteTrackMixTrackItem> subjectTrackItem,
    std::shared_ptr<ovloConnectionList> connections)
    : parts_(std::move(parts)),
      mirelune_(std::move(mirelune)),
      item_(std::move(subjectTrackItem)),
      connections_(std::move(connections)) {}

void MRFavoriteTrackOperation::submit() {
  if (parts_.networkQueue)
    parts_.networkQueue->addNetworkOperation(shared_from_this(), QueuePriority::High);
}

void MRFavoriteTrackOperation::cancel() {
  Operation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
}

void MRFavoriteTrackOperation::setCurrentOp(const std::function<void()>& cancelIt) {
  currentOp_.set(cancelIt);
  // A cancel that came before the step was known.
  if (cancelIt && isCancelled()) cancelIt();
}

bool MRFavoriteTrackOperation::waitForAnswer(const std::function<bool()>& arrived) {
  Clock& clock = parts_.env->clock();
  return waitFor(clock, clock.deadlineAfter(seconds(kStepDeadlineSeconds)), arrived);
}

void MRFavoriteTrackOperation::main() {
  setCurrentThreadName(className());
  if (!item_ || !parts_.env || !mirelune_) return;
  // Each step ends the job when it fails; the local favorite stays.
  (void)(retrieveArtistInfo() && updateTrackAndArtistInfo() && addToFavorites() && share());
  setCurrentOp(nullptr);
}

bool MRFavoriteTrackOperation::retrieveArtistInfo() {
  lastStep_.set("artist");
  if (!parts_.networkQueue) return false;
  auto retrieve = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, item_->artist);
  OperationTracker tracker(*this);
  tracker.track(*retrieve);
  setCurrentOp([retrieve] { retrieve->cancel(); });
  parts_.networkQueue->addNetworkOperation(retrieve, QueuePriority::High);
  if (!waitForAnswer([&tracker] { return tracker.allEnded(); })) {
    retrieve->cancel();
    return false;
  }
  auto artist = retrieve->artistInfo();
  artistInfo_.set(artist);
  return artist.has_value() && !isCancelled();
}

bool MRFavoriteTrackOperation::updateTrackAndArtistInfo() {
  lastStep_.set("track");
  const auto artist = artistInfo();
  if (!artist) return false;
  auto answer = std::make_shared<PendingAnswer<ServiceIds>>(*this);
  auto request = MRAPITrack(mirelune_).updateWithTrackItem(
      *item_, *artist, parts_.currentLanguage(),
      [answer](bool success, const std::optional<std::string>& wtid,
               const std::optional<std::string>& waid,
               const std::optional<std::string>& trackViewUrl) {
        answer->deliver(success ? std::optional<ServiceIds>(ServiceIds{wtid, waid, trackViewUrl})
                                : std::nullopt);
      },
      [answer, title = item_->title](const Error& error) {
        log::info("The service did not take the favorite \"{}\": {}", title, error.toString());
        answer->deliver(std::nullopt);
      });
  if (!request) return false;  // not signed in
  setCurrentOp([request] { request->cancel(); });
  waitForAnswer([&answer] { return answer->arrived(); });
  auto ids = answer->detach();
  if (!ids) {
    request->cancel();
    return false;
  }
  ids_.set(std::move(*ids));
  return !isCancelled();
}

bool MRFavoriteTrackOperation::addToFavorites() {
  lastStep_.set("add");
  auto answer = std::make_shared<PendingAnswer<bool>>(*this);
  auto request = MRAPIFavoriteTrack(mirelune_).addWithPlaylistTrackItem(
      *item_, [answer](bool success) { answer->deliver(success); },
      [answer, title = item_->title](const Error& error) {
        log::info("The service did not add the favorite \"{}\": {}", title, error.toString());
        answer->deliver(false);
      });
  if (!request) return false;
  setCurrentOp([request] { request->cancel(); });
  waitForAnswer([&answer] { return answer->arrived(); });
  auto success = answer->detach();
  if (!success) request->cancel();
  added_.set(success.value_or(false));
  return success.value_or(false) && !isCancelled();
}

bool MRFavoriteTrackOperation::share() {
  lastStep_.set("share");
  const auto wtid = this->wtid();
  if (!wtid) return false;
  MRAPIFavoriteTrack favorites(mirelune_);
  const auto connectionIds = favorites.arrayOfCidForAutoSharing(connections_);
  auto answer = std::make_shared<PendingAnswer<bool>>(*this);
  auto request = favorites.shareWithWtid(
      *wtid, connectionIds, [answer](bool success) { answer->deliver(success); },
      [answer](const Error& error) {
        log::info("The favorite was not shared: {}", error.toString());
        answer->deliver(false);
      });
  // Nothing to share on (auto-sharing off, or no connection).
  if (!request) return false;
  setCurrentOp([request] { request->cancel(); });
  waitForAnswer([&answer] { return answer->arrived(); });
  auto success = answer->detach();
  if (!success) request->cancel();
  return success.value_or(false);
}

}  // namespace mr
