#include "recommend/MRRecommendMix.h"

#include <algorithm>

#include "external/MRLocatePreviewDataOperation.h"

namespace mr {

MRRecommendMix::MRRecommendMix(MRRecommendParts parts,
                               std::vector<std::shared_ptr<MRRecommendMixTrackItem>> topTracks,
                               std::optional<std::string> subjectGenreTag)
    : MRPlaylistBuildOperation(*parts.env),
      parts_(std::move(parts)),
      topTracks_(std::move(topTracks)),
      subjectGenreTag_(std::move(subjectGenreTag)) {}

MRRecommendMix::MRRecommendMix(MRRecommendParts parts,
                               std::shared_ptr<MRRecommendMixTrackItem> topTrack,
                               std::optional<std::string> subjectGenreTag)
    : MRRecommendMix(
          std::move(parts),
          topTrack ? std::vector<std::shared_ptr<MRRecommendMixTrackItem>>{std::move(topTrack)}
                   : std::vector<std::shared_ptr<MRRecommendMixTrackItem>>{},
          std::move(subjectGenreTag)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRRecommendMix::duplicate() const {
  return std::make_shared<MRRecommendMix>(parts_, topTracks_, subjectGenreTag_);
}

bool MRRecommendMix::isTopTrackWithItemHash(const std::string& itemHash) const {
  return std::any_of(topTracks_.begin(), topTracks_.end(),
                     [&itemHash](const auto& top) { return top->itemHash == itemHash; });
}

std::vector<std::shared_ptr<CDRecommendTrack>>
MRRecommendMix::selectRecommendTracksWithEntityController(
    const CDRecommendTrackEntityController& controller) const {
  if (subjectGenreTag_) return controller.findWithGenreTag(*subjectGenreTag_, kCandidates);
  const std::string genre = topTracks_.empty() ? "" : topTracks_.front()->genreName;
  return controller.findWithGenre(genre, kCandidates);
}

void MRRecommendMix::cancel() {
  MRPlaylistBuildOperation::cancel();
  std::vector<std::shared_ptr<Operation>> checks;
  {
    std::lock_guard guard(operationsMutex_);
    checks = arrOperations_;
  }
  for (const auto& check : checks)
    check->cancel();
}

void MRRecommendMix::updateProgress() {
  size_t inFlight;
  {
    std::lock_guard guard(operationsMutex_);
    inFlight = arrOperations_.size();
  }
  const size_t most = std::max<size_t>(progressMax_.load(), 1);
  setProgress(static_cast<float>(most - std::min(inFlight, most)) / static_cast<float>(most));
}

void MRRecommendMix::enqueueLocatingPreviewDataForTrackItem(
    const std::shared_ptr<MRRecommendMixTrackItem>& item) {
  auto check = std::make_shared<MRLocatePreviewDataOperation>(*parts_.env, parts_.sites,
                                                              item->previewDataSourceSet);
  std::weak_ptr<Operation> weakMix = weak_from_this();
  check->setBeginningBlock([weakMix, item](MRLocatePreviewDataOperation&) {
    auto mix = std::static_pointer_cast<MRRecommendMix>(weakMix.lock());
    if (!mix) return;
    mix->setLocatingTrackArtist(item->artist);
    mix->setLocatingTrackTitle(item->title);  // last: observers read both on it
    mix->invokeProgressCallback();
  });
  // The completion block also runs for a check dropped before it started,
  // so every check leaves the list.
  Dispatcher& main = parts_.env->main();
  std::weak_ptr<MRLocatePreviewDataOperation> weakCheck = check;
  const Operation* key = check.get();
  check->setCompletionBlock([weakMix, weakCheck, key, item, &main] {
    auto resolved = std::make_shared<std::vector<MRPreviewDataSource>>();
    if (auto done = weakCheck.lock()) *resolved = done->subjectPreviewDataSourceSet();
    main.post([weakMix, key, item, resolved] {
      auto mix = std::static_pointer_cast<MRRecommendMix>(weakMix.lock());
      if (!mix) return;
      if (!mix->isCancelled() && !resolved->empty()) {
        item->previewDataSourceSet = std::move(*resolved);
        if (item->numberOfAvailablePreviewData() > 0) {
          size_t index = static_cast<size_t>(-1);
          for (size_t i = 0; i < mix->topTracks_.size(); ++i) {
            if (mix->topTracks_[i] == item) index = i;
          }
          mix->insertTrack(item, index);
        }
      }
      {
        std::lock_guard guard(mix->operationsMutex_);
        std::erase_if(mix->arrOperations_, [key](const auto& op) { return op.get() == key; });
      }
      mix->updateProgress();
      mix->wake();
    });
  });
  {
    std::lock_guard guard(operationsMutex_);
    arrOperations_.push_back(check);
    progressMax_ = arrOperations_.size();
  }
  updateProgress();
  parts_.networkQueue->addNetworkOperation(check, QueuePriority::Normal);
}

void MRRecommendMix::main() {
  MRPlaylistBuildOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  for (const auto& top : topTracks_)
    enqueueLocatingPreviewDataForTrackItem(top);

  if (parts_.store) {
    CDRecommendTrackEntityController recommendTracks(parts_.store.get());
    for (const auto& candidate : selectRecommendTracksWithEntityController(recommendTracks)) {
      if (isCancelled()) break;
      if (isTopTrackWithItemHash(candidate->itemHash().value_or(""))) continue;
      auto item = std::make_shared<MRRecommendMixTrackItem>();
      candidate->assignToRecommendMixTrackItem(*item);
      enqueueLocatingPreviewDataForTrackItem(item);
    }
  }
  {
    std::lock_guard guard(operationsMutex_);
    progressMax_ = arrOperations_.size();
  }
  waitFor(parts_.env->clock(), kNoDeadline, [this] {
    std::lock_guard guard(operationsMutex_);
    return arrOperations_.empty();
  });
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
