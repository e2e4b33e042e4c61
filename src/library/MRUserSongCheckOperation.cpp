#include "library/MRUserSongCheckOperation.h"

#include <algorithm>
#include <mutex>

#include "base/Log.h"
#include "base/MRServiceOperationQueue.h"
#include "library/MRUploadUserTracksOperation.h"
#include "model/CDUtility.h"

namespace mr {
namespace {

// The upload's own failures are its error; storing after the check is only
// logged, and the count stays 0 so the next start sends the tracks again.
void logStored(const Status& stored) {
  if (!stored.ok()) {
    log::error("User song check: the uploaded tracks were not stored: {}",
               stored.error().toString());
  }
}

}  // namespace

// What the check and its upload leave in the settings, stored by whichever
// of the two ends last. Nothing, when the check could not save the tracks
// it queued: the next start must check (and upload) them again. Otherwise
// the upload's table of the library's tracks once they reached the service,
// and the song count when the check ran to its end: the library's size if
// the service is up to date, else 0 so that the next start tries again.
struct MRUserSongCheckOperation::UploadAgreement {
  enum class CheckEnd { Counted, Cancelled, Failed };

  struct State {
    std::optional<CheckEnd> checkEnd;
    int32_t total = 0;
    std::optional<bool> uploadUpToDate;
    std::optional<MRMutableUserTrackItemHashTable> table;
  };

  MRUserDefaults defaults;
  MutexProtected<State> state;

  explicit UploadAgreement(MRUserDefaults userDefaults) : defaults(std::move(userDefaults)) {}

  Status checkEnded(CheckEnd end, int32_t total) {
    return state.with([&](State& s) {
      s.checkEnd = end;
      s.total = total;
      return decide(s);
    });
  }
  Status uploadEnded(bool upToDate, std::optional<MRMutableUserTrackItemHashTable> table) {
    return state.with([&](State& s) {
      s.uploadUpToDate = upToDate;
      s.table = std::move(table);
      return decide(s);
    });
  }

 private:
  Status decide(State& s) {
    if (!s.checkEnd || !s.uploadUpToDate || *s.checkEnd == CheckEnd::Failed) return {};
    bool upToDate = *s.uploadUpToDate;
    Status stored;
    if (upToDate && s.table) {
      stored = s.table->save(defaults);
      upToDate = stored.ok();
      s.table.reset();
    }
    if (*s.checkEnd == CheckEnd::Counted) defaults.setNumberOfUserSongs(upToDate ? s.total : 0);
    return stored;
  }
};

MRUserSongCheckOperation::MRUserSongCheckOperation(
    const Env& env, std::shared_ptr<Database> store,
    std::shared_ptr<MRNetworkOperationQueue> networkQueue, std::shared_ptr<MRAPIBase> api,
    std::optional<MRServiceOperationKind> seedBuildKind)
    : MRServiceOperation(env),
      store_(std::move(store)),
      networkQueue_(std::move(networkQueue)),
      api_(std::move(api)),
      seedBuildKind_(seedBuildKind) {}

std::string MRUserSongCheckOperation::processingTrackTitle() const {
  return processing_.with([](const ProcessingTrack& track) { return track.title; });
}

std::string MRUserSongCheckOperation::processingTrackArtist() const {
  return processing_.with([](const ProcessingTrack& track) { return track.artist; });
}

bool MRUserSongCheckOperation::checkForASongWithTitle(const std::string& title,
                                                      const std::string& album,
                                                      const std::string& artist,
                                                      uint64_t playCount) {
  return checkTrack(title, album, artist, playCount, CDUtility::itemHashWithTitle(title, artist));
}

bool MRUserSongCheckOperation::checkTrack(const std::string& title, const std::string& album,
                                          const std::string& artist, uint64_t playCount,
                                          const std::string& itemHash) {
  processing_.with([&](ProcessingTrack& track) {
    track.artist = artist;
    track.title = title;
  });
  bool queued = false;
  // Already recommended: a used-track record of the same title and artist.
  if (ecUsedTrack_->findWithItemHash(itemHash) == nullptr) {
    auto item = ecRecommendQueue_->enqueueTrackForRecommendationWithTitle(
        title, album, artist, static_cast<int64_t>(playCount), true);
    if (item) {
      ecUsedTrack_->insertNewObjectWithTrackRecommendationQueueItem(*item);
      queued = true;
      ++songQueued_;
    }
  }
  // A write that failed is written again, with all before it, at every
  // later write: save at once, and stop when that fails too (a full disk).
  const auto& context = ecRecommendQueue_->context();
  if (context && context->lastError() && !saveFailure_) {
    if (Status saved = ecRecommendQueue_->save(); !saved.ok()) saveFailure_ = saved.error();
  }
  const int32_t checked = ++songChecked_;
  // The first 100 are saved at once, so the recommendation side (and the
  // first analysis, which waits for 100) sees them early; the rest in large
  // steps. A save writes every index page the random item hashes touched,
  // so saving every 100 tracks made a large library's check several times
  // slower.
  if ((checked == 100 || checked % kSaveStep == 0) && !saveFailure_) {
    if (Status saved = ecRecommendQueue_->save(); !saved.ok()) saveFailure_ = saved.error();
    if (checked == 100) env().clock().sleepFor(seconds(0.4));
  }
  // Progress as the count moves by a thousandth (so every track in libraries
  // of up to a thousand) and at 100, which the first analysis looks for: a
  // call for every track of a large library only kept the main loop busy.
  const int32_t total = songTotal_;
  const int64_t thousandths = int64_t{checked} * 1000 / std::max(total, 1);
  if (checked == 100 || checked >= total || thousandths != progressThousandths_) {
    progressThousandths_ = thousandths;
    setProgress(static_cast<float>(checked) / static_cast<float>(total));
  }
  return queued;
}

void MRUserSongCheckOperation::walk(const MRHashedMusicLibrary& library) {
  const auto& tracks = library.tracks();
  for (size_t i = 0; i < tracks.size(); ++i) {
    const auto& track = tracks[i];
    checkTrack(track.trackTitle().value_or(""), track.albumTitle().value_or(""),
               track.artistName().value_or(""), track.playCount(), library.itemHashes[i]);
    if (saveFailure_ || isCancelled()) return;
  }
}

void MRUserSongCheckOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  ecRecommendQueue_ = std::make_unique<CDTrackRecommendationQueueEntityController>(store_.get());
  ecUsedTrack_ =
      std::make_unique<CDTrackUsedForRecommendationEntityController>(ecRecommendQueue_->context());
  const MRServiceOperationStatus status = checkLibrary();
  // What a failed save left is rolled back, and the store's write lock let go.
  ecUsedTrack_.reset();
  ecRecommendQueue_.reset();
  setStatus(status);
}

MRServiceOperationStatus MRUserSongCheckOperation::checkLibrary() {
  MRUserDefaults defaults(env().settings(), env().paths().home);
  std::shared_ptr<UploadAgreement> agreement;

  // Read once, with all the upload needs, for the check and its upload.
  auto library = MRMusicLibrary::defaultMusicLibrary(defaults);
  if (!library.ok()) {
    log::warning("User song check: {} {}", library.error().description(),
                 library.error().failureReason());
    setLastError(library.error());
  } else {
    songTotal_ = static_cast<int32_t>((*library)->source().allTracks().size());
    songChecked_ = 0;
    if (defaults.numberOfUserSongs() != songTotal_) {
      const auto hashed = MRHashedMusicLibrary::make(std::move(*library));
      agreement = std::make_shared<UploadAgreement>(defaults);
      auto upload = std::make_shared<MRUploadUserTracksOperation>(env(), api_, hashed);
      upload->setOutcomeHandler(
          [agreement](bool upToDate, std::optional<MRMutableUserTrackItemHashTable> table) {
            return agreement->uploadEnded(upToDate, std::move(table));
          });
      upload_.set(upload);
      networkQueue_->addNetworkOperation(upload, QueuePriority::Normal);
      walk(*hashed);
    }
  }

  Status saved = ecRecommendQueue_->save();
  if (!saved.ok() && !saveFailure_) saveFailure_ = saved.error();
  if (saveFailure_) {
    log::error("User song check: the queued tracks were not saved: {}", saveFailure_->toString());
    setLastError(saveFailure_);
    if (agreement) (void)agreement->checkEnded(UploadAgreement::CheckEnd::Failed, 0);
    // Whatever it sends would be sent again next time.
    if (auto upload = upload_.get()) upload->cancel();
    return kMRServiceOperationStatusFailed;
  }
  if (isCancelled()) {
    // The song count is not stored, so the next start checks again.
    if (agreement) logStored(agreement->checkEnded(UploadAgreement::CheckEnd::Cancelled, 0));
    return kMRServiceOperationStatusCompleted;
  }
  if (seedBuildKind_ && ecRecommendQueue_->countAllItems() > 0) {
    if (auto serviceQueue = std::dynamic_pointer_cast<MRServiceOperationQueue>(queue())) {
      serviceQueue->addOperationOfKind(*seedBuildKind_);
    }
  }
  if (agreement) {
    logStored(agreement->checkEnded(UploadAgreement::CheckEnd::Counted, songTotal_));
  } else {
    defaults.setNumberOfUserSongs(songTotal_);
  }
  return kMRServiceOperationStatusCompleted;
}

}  // namespace mr
