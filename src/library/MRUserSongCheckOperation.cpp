#include "library/MRUserSongCheckOperation.h"

#include "base/Log.h"
#include "base/MRServiceOperationQueue.h"
#include "library/MRUploadUserTracksOperation.h"

namespace mr {

// The song count is stored only when the check ran to its end and the
// upload brought the service up to date (or there was nothing to upload):
// otherwise 0, so the next start checks and uploads again. Whichever of the
// two ends last stores it.
struct MRUserSongCheckOperation::UploadAgreement {
  MRUserDefaults defaults;
  std::mutex mutex;
  std::optional<int32_t> checkedTotal;
  std::optional<bool> uploadUpToDate;

  explicit UploadAgreement(MRUserDefaults userDefaults) : defaults(std::move(userDefaults)) {}
  void checkEnded(int32_t total) {
    std::lock_guard guard(mutex);
    checkedTotal = total;
    decide();
  }
  void uploadEnded(bool upToDate) {
    std::lock_guard guard(mutex);
    uploadUpToDate = upToDate;
    decide();
  }
  void decide() {
    if (!checkedTotal || !uploadUpToDate) return;
    defaults.setNumberOfUserSongs(*uploadUpToDate ? *checkedTotal : 0);
  }
};

MRUserSongCheckOperation::MRUserSongCheckOperation(
    const Env& env, std::shared_ptr<Database> store,
    std::shared_ptr<MRNetworkOperationQueue> networkQueue, std::shared_ptr<MRAPIBase> api)
    : MRServiceOperation(env),
      store_(std::move(store)),
      networkQueue_(std::move(networkQueue)),
      api_(std::move(api)) {}

std::string MRUserSongCheckOperation::processingTrackTitle() const {
  std::lock_guard guard(mutex_);
  return processingTrackTitle_;
}

std::string MRUserSongCheckOperation::processingTrackArtist() const {
  std::lock_guard guard(mutex_);
  return processingTrackArtist_;
}

std::shared_ptr<Operation> MRUserSongCheckOperation::uploadOperation() const {
  std::lock_guard guard(mutex_);
  return upload_;
}

bool MRUserSongCheckOperation::checkForASongWithTitle(const std::string& title,
                                                      const std::string& album,
                                                      const std::string& artist,
                                                      uint64_t playCount) {
  {
    std::lock_guard guard(mutex_);
    processingTrackArtist_ = artist;
    processingTrackTitle_ = title;
  }
  bool queued = false;
  if (!ecUsedTrack_->isAlreadyRecommendedWithTitle(title, album, artist)) {
    auto item = ecRecommendQueue_->enqueueTrackForRecommendationWithTitle(
        title, album, artist, static_cast<int64_t>(playCount), true);
    if (item) {
      ecUsedTrack_->insertNewObjectWithTrackRecommendationQueueItem(*item);
      queued = true;
      ++songQueued_;
    }
  }
  const int32_t checked = ++songChecked_;
  if (checked % 100 == 0) {
    // So the recommendation side sees the first tracks early.
    if (Status saved = ecRecommendQueue_->save(); !saved.ok())
      log::warning("User song check: {}", saved.error().toString());
    if (checked == 100) env().clock().sleepFor(seconds(0.4));
  }
  setProgress(static_cast<float>(checked) / static_cast<float>(songTotal_.load()));
  return queued;
}

void MRUserSongCheckOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  ecRecommendQueue_ = std::make_unique<CDTrackRecommendationQueueEntityController>(store_.get());
  ecUsedTrack_ =
      std::make_unique<CDTrackUsedForRecommendationEntityController>(ecRecommendQueue_->context());
  MRUserDefaults defaults(env().settings(), env().paths().home);
  std::shared_ptr<UploadAgreement> agreement;

  // Title, album, artist and play count are all the check reads.
  auto library =
      MRMusicLibrary::defaultMusicLibrary(defaults, MRITunesMusicLibrary::Fields::Identity);
  if (!library.ok()) {
    log::warning("User song check: {} {}", library.error().description(),
                 library.error().failureReason());
    setLastError(library.error());
  } else {
    const auto& tracks = (*library)->source().allTracks();
    songTotal_ = static_cast<int32_t>(tracks.size());
    songChecked_ = 0;
    if (defaults.numberOfUserSongs() != songTotal_) {
      agreement = std::make_shared<UploadAgreement>(defaults);
      auto upload = std::make_shared<MRUploadUserTracksOperation>(env(), api_);
      upload->setOutcomeHandler([agreement](bool upToDate) { agreement->uploadEnded(upToDate); });
      {
        std::lock_guard guard(mutex_);
        upload_ = upload;
      }
      networkQueue_->addNetworkOperation(upload, QueuePriority::Normal);
      for (const auto& track : tracks) {
        checkForASongWithTitle(track.trackTitle().value_or(""), track.albumTitle().value_or(""),
                               track.artistName().value_or(""), track.playCount());
        if (isCancelled()) break;
      }
    }
  }
  if (Status saved = ecRecommendQueue_->save(); !saved.ok()) setLastError(saved.error());
  if (isCancelled()) {
    setStatus(kMRServiceOperationStatusCompleted);
    return;
  }
  if (ecRecommendQueue_->countAllItems() > 0) {
    if (auto serviceQueue = std::dynamic_pointer_cast<MRServiceOperationQueue>(queue())) {
      serviceQueue->addRecommendMixBuildOperation();
    }
  }
  if (agreement) {
    agreement->checkEnded(songTotal_);
  } else {
    defaults.setNumberOfUserSongs(songTotal_);
  }
  setStatus(kMRServiceOperationStatusCompleted);
}

}  // namespace mr
