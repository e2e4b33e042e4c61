#include "playback/MRSendArtistTopTrackMixOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "playback/MRArtistTopTrackMix.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "service/MRAPIArtistTopTrackMix.h"

namespace mr {

MRSendArtistTopTrackMixOperation::MRSendArtistTopTrackMixOperation(
    std::shared_ptr<const MRArtistTopTrackMix> mix)
    : mix_(std::move(mix)) {}

void MRSendArtistTopTrackMixOperation::cancel() {
  Operation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
}

void MRSendArtistTopTrackMixOperation::setCurrentOp(const std::function<void()>& cancelIt) {
  currentOp_.set(cancelIt);
  // A cancel that came before the step was known.
  if (cancelIt && isCancelled()) cancelIt();
}

std::optional<LastfmArtist> MRSendArtistTopTrackMixOperation::retrieveArtistInfo() {
  auto retrieve =
      std::make_shared<MRRetrieveArtistInfoOperation>(mix_->parts().recommend, mix_->artistName());
  setCurrentOp([retrieve] { retrieve->cancel(); });
  // In place: this thread only waits for it anyway.
  retrieve->start();
  setCurrentOp(nullptr);
  auto artist = retrieve->artistInfo();
  artistInfo_.set(artist);
  return artist;
}

void MRSendArtistTopTrackMixOperation::main() {
  setCurrentThreadName(className());
  if (!mix_ || !mix_->parts().mirelune) return;
  const auto artist = retrieveArtistInfo();
  if (!artist || isCancelled()) return;

  const Env& env = mix_->parts().env();
  // The callbacks may come after this operation is gone: they touch only
  // the answer.
  using Answer = Result<bool>;
  auto answer = std::make_shared<PendingAnswer<Answer>>(*this);
  auto request =
      MRAPIArtistTopTrackMix(mix_->parts().mirelune)
          .updateWithArtistInfo(
              *artist, mix_->tracks(),
              [answer](bool success, const std::optional<std::string>&,
                       const std::optional<std::string>&) { answer->deliver(Answer(success)); },
              [answer](const Error& error) { answer->deliver(Answer(error)); });
  if (!request) return;  // not signed in
  setCurrentOp([request] { request->cancel(); });
  // The engine ends every request it accepted with one of the callbacks,
  // also a cancelled one.
  waitFor(env.clock(), kNoDeadline, [&answer] { return answer->arrived(); });
  setCurrentOp(nullptr);
  const auto outcome = answer->detach();
  if (!outcome) {
    request->cancel();
    return;
  }
  if (!outcome->ok()) {
    log::info("The service did not take the top tracks of {}: {}", mix_->artistName(),
              outcome->error().toString());
    lastError_.set(outcome->error());
    return;
  }
  sent_.set(outcome->value() && !isCancelled());
}

}  // namespace mr
