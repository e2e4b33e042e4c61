#include "social/MRSubmitCommentForTrackOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "service/MRAPITrack.h"

namespace mr {

MRSubmitCommentForTrackOperation::MRSubmitCommentForTrackOperation(
    MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune, MRPlaylistTrackItem trackItem,
    std::optional<std::string> comment, std::optional<std::vector<int64_t>> shareOn)
    : MRRetryableNetworkOperation(*parts.env),
      parts_(std::move(parts)),
      mirelune_(std::move(mirelune)),
      trackItem_(std::move(trackItem)),
      comment_(std::move(comment)),
      shareOn_(std::move(shareOn)) {}

void MRSubmitCommentForTrackOperation::submit(MRServiceOperationQueue& queue) {
  auto self = std::static_pointer_cast<MRServiceOperation>(shared_from_this());
  queue.addOperation(self);
  queue.registerWithStatusList(self);
}

std::shared_ptr<MRRetryableNetworkOperation> MRSubmitCommentForTrackOperation::duplicate() const {
  return std::make_shared<MRSubmitCommentForTrackOperation>(parts_, mirelune_, trackItem_,
                                                            comment_, shareOn_);
}

void MRSubmitCommentForTrackOperation::cancel() {
  MRRetryableNetworkOperation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
}

void MRSubmitCommentForTrackOperation::setCurrentOp(const std::function<void()>& cancelIt) {
  currentOp_.set(cancelIt);
  if (cancelIt && isCancelled()) cancelIt();
}

bool MRSubmitCommentForTrackOperation::retrieveArtistInfo() {
  if (!parts_.networkQueue) return false;
  auto retrieve = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, trackItem_.artist);
  // Read when it ends, whether it ran or was dropped before it started.
  OperationTracker tracker(*this);
  tracker.track(*retrieve);
  setCurrentOp([retrieve] { retrieve->cancel(); });
  parts_.networkQueue->addNetworkOperation(retrieve, QueuePriority::High);
  waitFor(env().clock(), kNoDeadline, [&tracker] { return tracker.allEnded(); });
  setCurrentOp(nullptr);
  if (isCancelled()) {
    retrieve->cancel();
    return false;
  }
  artistInfo_.set(retrieve->artistInfo());
  if (auto error = retrieve->lastError()) setLastError(error);
  return retrieve->artistInfo().has_value();
}

template <class Call>
bool MRSubmitCommentForTrackOperation::callService(Call&& call) {
  // The callbacks may come after this operation is gone: they touch only
  // the answer.
  using Answer = Result<Ids>;
  auto answer = std::make_shared<PendingAnswer<Answer>>(*this);
  auto request = call(
      [answer](bool success, const std::optional<std::string>& wtid,
               const std::optional<std::string>& waid,
               const std::optional<std::string>& trackViewUrl) {
        if (success) {
          answer->deliver(Answer(Ids{wtid, waid, trackViewUrl}));
        } else {
          answer->deliver(Answer(Error(kMireluneErrorDomain, 1, "The service refused the track.")));
        }
      },
      [answer](const Error& error) { answer->deliver(Answer(error)); });
  if (!request) {
    answer->detach();
    setLastError(Error(kMireluneErrorDomain, 1, "Not signed in to the Mirelune service."));
    return false;
  }
  setCurrentOp([request] { request->cancel(); });
  // The engine ends every request it accepted with one of the callbacks.
  waitFor(env().clock(), kNoDeadline, [&answer] { return answer->arrived(); });
  setCurrentOp(nullptr);
  auto outcome = answer->detach();
  if (!outcome) {
    request->cancel();
    return false;
  }
  if (!outcome->ok()) {
    setLastError(outcome->error());
    return false;
  }
  ids_.set(outcome->value());
  return !isCancelled() && !lastError();
}

bool MRSubmitCommentForTrackOperation::updateTrackAndArtistInfo() {
  const auto artist = artistInfo_.get();
  if (!artist || !mirelune_) return false;
  const std::string language = parts_.currentLanguage();
  return callService([&](auto completion, auto error) {
    return MRAPITrack(mirelune_).updateWithTrackItem(trackItem_, *artist, language,
                                                     std::move(completion), std::move(error));
  });
}

bool MRSubmitCommentForTrackOperation::submitComment() {
  if (!comment_ || comment_->empty()) return true;
  const auto wtid = ids_.get().wtid;
  if (!wtid || !mirelune_) return false;
  const std::vector<int64_t> shareOn = shareOn_.value_or(std::vector<int64_t>{});
  return callService([&](auto completion, auto error) {
    return MRAPITrack(mirelune_).addComment(*comment_, *wtid, shareOn, std::move(completion),
                                            std::move(error));
  });
}

void MRSubmitCommentForTrackOperation::main() {
  MRRetryableNetworkOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  bool succeeded = false;
  if (retrieveArtistInfo()) {
    setProgress(0.3F);
    if (updateTrackAndArtistInfo()) {
      setProgress(0.6F);
      if (submitComment()) {
        setProgress(1.0F);
        succeeded = true;
      }
    }
  }
  if (!succeeded && !isCancelled()) {
    log::info("The comment on {} - {} was not submitted: {}", trackItem_.artist, trackItem_.title,
              lastError() ? lastError()->toString() : std::string("no artist information"));
  }
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled
            : succeeded   ? kMRServiceOperationStatusCompleted
                          : kMRServiceOperationStatusFailed);
}

std::string commentFormText(const std::string& input) {
  constexpr const char* kBlanks = " \t\n\r\v\f";
  const size_t first = input.find_first_not_of(kBlanks);
  if (first == std::string::npos) return "";
  const size_t last = input.find_last_not_of(kBlanks);
  return input.substr(first, last - first + 1);
}

std::vector<int64_t> commentFormShareList(const ovloConnectionList& connections,
                                          bool shareOnFacebook, bool shareOnTwitter) {
  std::vector<int64_t> shareOn;
  const auto add = [&](const char* service, bool ticked) {
    if (!ticked) return;
    const auto items = connections.itemsOfService(service);
    if (!items.empty()) shareOn.push_back(items.front().cid);
  };
  add("facebook", shareOnFacebook);
  add("twitter", shareOnTwitter);
  return shareOn;
}

}  // namespace mr
