#include "social/MRSyncFavoriteTracksOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "external/MRLocatePreviewDataSourceOperation.h"
#include "model/CDUtility.h"
#include "service/MRAPIFavoriteTrack.h"
#include "store/CDFavoriteTrack.h"

namespace mr {

MRSyncFavoriteTracksOperation::MRSyncFavoriteTracksOperation(MRRecommendParts parts,
                                                             std::shared_ptr<MRAPIBase> mirelune)
    : MRServiceOperation(*parts.env),
      parts_(std::move(parts)),
      mirelune_(std::move(mirelune)),
      locateOps_(std::make_shared<OperationQueue>("locateOps", kLocateWidth)) {}

void MRSyncFavoriteTracksOperation::cancel() {
  Operation::cancel();
  if (auto cancelIt = currentOp_.get()) cancelIt();
  locateOps_->cancelAllOperations();
}

void MRSyncFavoriteTracksOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  completed_ = 0;
  if (retrieveFavorites() && !isCancelled()) updateCoreData();
  setStatus(kMRServiceOperationStatusCompleted);
}

bool MRSyncFavoriteTracksOperation::retrieveFavorites() {
  setCurrentThreadName(className() + "::retrieveFavorites");
  if (!mirelune_) return false;
  using Favorites = std::vector<MRFavoriteTrackDocument>;
  // The list waits beside the answer, which only says whether it came.
  auto answer = std::make_shared<PendingAnswer<bool>>(*this);
  auto list = std::make_shared<MutexProtected<Favorites>>();
  auto lastError = std::make_shared<MutexProtected<std::optional<Error>>>();
  auto request = MRAPIFavoriteTrack(mirelune_).getMyFavorites(
      [answer, list, lastError](bool success, const std::optional<Favorites>& favorites) {
        if (success && favorites) {
          list->set(*favorites);
          answer->deliver(true);
          return;
        }
        lastError->set(Error(kMireluneErrorDomain, 1, "the service refused the favorites list"));
        answer->deliver(false);
      },
      [answer, lastError](const Error& error) {
        lastError->set(error);
        answer->deliver(false);
      });
  if (!request) {
    setLastError(Error(kMireluneErrorDomain, 1, "not signed in: no favorites to synchronise"));
    return false;
  }
  currentOp_.set([request] { request->cancel(); });
  if (isCancelled()) request->cancel();
  // The engine ends every request with one callback, so this wait ends.
  waitFor(env().clock(), kNoDeadline, [&answer] { return answer->arrived(); });
  currentOp_.set(nullptr);
  const bool arrived = answer->detach().value_or(false);
  if (!arrived) {
    request->cancel();
    setLastError(lastError->get());
    return false;
  }
  favoriteTracks_.set(list->get());
  return true;
}

void MRSyncFavoriteTracksOperation::updateCoreData() {
  setCurrentThreadName(className() + "::updateCoreData");
  if (!parts_.store) return;
  OperationTracker tracker(*this);
  tracker_ = &tracker;
  const auto documents = favoriteTracks();
  {
    CDFavoriteTrackEntityController favorites(parts_.store.get());
    for (const auto& document : documents) {
      if (isCancelled()) break;
      if (favorites.findOneWithArtist(document.artistName(), document.trackTitle())) continue;
      insertNewEntryWithTrackDocument(document);
    }
  }
  waitFor(env().clock(), kNoDeadline, [&tracker] { return tracker.allEnded(); });
  if (isCancelled()) {
    locateOps_->cancelAllOperations();
    locateOps_->waitUntilAllOperationsAreFinished();
  }
  tracker_ = nullptr;
}

void MRSyncFavoriteTracksOperation::insertNewEntryWithTrackDocument(
    const MRFavoriteTrackDocument& document) {
  if (tracker_ == nullptr) return;
  auto locate = std::make_shared<MRLocatePreviewDataSourceOperation>(
      env(), parts_.sites, document.trackTitle(), document.artistName());
  locate->setBeginningBlock([this](MRLocatePreviewDataSourceOperation& op) {
    processing_.set({op.title(), op.artist()});
    notifyObservers("processingTrackTitle");
  });
  const size_t total = favoriteTracks_.with([](const auto& list) { return list.size(); });
  locate->setOnCompletion([this, document, total](MRLocatePreviewDataSourceOperation& op) {
    const auto sources = op.previewDataSourceSet();
    // Not to be found now: left for the next start.
    if (sources.empty() || isCancelled()) return;
    CDFavoriteTrackEntityController favorites(parts_.store.get());
    auto context = favorites.context();
    if (!context) return;
    auto favorite = favorites.insertNewObject();
    favorite->setItemHash(
        CDUtility::itemHashWithTitle(document.trackTitle(), document.artistName()));
    favorite->setArtist(document.artistName());
    favorite->setTitle(document.trackTitle());
    favorite->setImageUrl(document.artworkUrl());
    favorite->setFavoritedAt(document.favoritedAt());
    CDPreviewDataSourceEntityController records(context);
    for (const auto& source : sources) {
      auto record = records.insertNewObject();
      assignPreviewDataSourceToManagedObject(source, *record);
      record->setFavoriteTrack(favorite.get());
    }
    if (Status saved = favorites.save(); !saved.ok()) {
      log::error("The synchronised favorite \"{}\" was not stored: {}", document.trackTitle(),
                 saved.error().toString());
      return;
    }
    const unsigned done = ++completed_;
    setProgress(total == 0 ? 1.0f : static_cast<float>(done) / static_cast<float>(total));
  });
  tracker_->track(*locate);
  locateOps_->addOperation(locate);
}

}  // namespace mr
