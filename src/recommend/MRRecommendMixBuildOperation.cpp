#include "recommend/MRRecommendMixBuildOperation.h"

#include <algorithm>
#include <set>

#include "base/Log.h"
#include "external/ExternalErrors.h"
#include "recommend/MRRecommendTrackOperation.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDRecommendTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"

namespace mr {

struct MRRecommendMixBuildOperation::Controllers {
  explicit Controllers(const std::shared_ptr<Context>& context)
      : recommendTracks(context), queue(context), history(context), used(context) {}
  CDRecommendTrackEntityController recommendTracks;
  CDTrackRecommendationQueueEntityController queue;
  CDPlayHistoryTrackEntityController history;
  CDTrackUsedForRecommendationEntityController used;
};

MRRecommendMixBuildOperation::MRRecommendMixBuildOperation(MRRecommendParts parts)
    : MRServiceOperation(*parts.env),
      parts_(std::move(parts)),
      recommendOps_(std::make_shared<OperationQueue>("recommendOps", 3)) {}

// The seeds call back into the build: they end before its members do.
MRRecommendMixBuildOperation::~MRRecommendMixBuildOperation() {
  recommendOps_->cancelAllOperations();
  recommendOps_->waitUntilAllOperationsAreFinished();
}

void MRRecommendMixBuildOperation::setBoostMode(bool boost) {
  boostMode_ = boost;
  recommendOps_->setMaxConcurrentOperationCount(determineConcurrentOperationCount());
  wake();  // an offline pause ends at once when boosted
}

int MRRecommendMixBuildOperation::determineConcurrentOperationCount() const {
  if (boostMode_) return 5;
  switch (parts_.env->reachability().currentStatus()) {
    case NetworkStatus::NotReachable:
      return 0;
    // A wired link is as good as Wi-Fi.
    case NetworkStatus::ReachableViaWiFi:
    case NetworkStatus::ReachableViaWWAN:
    case NetworkStatus::ReachableViaWired:
      return 2;
  }
  return 1;
}

int MRRecommendMixBuildOperation::recommendLimitForPriority(int64_t priority,
                                                            int64_t initialTotal) {
  if (priority >= 100) return 70;
  if (priority >= 10 || initialTotal < 30) return 50;
  return 30;
}

std::string MRRecommendMixBuildOperation::processingTrackTitle() const {
  std::lock_guard guard(processingMutex_);
  return processingTrackTitle_;
}

std::string MRRecommendMixBuildOperation::processingTrackArtist() const {
  std::lock_guard guard(processingMutex_);
  return processingTrackArtist_;
}

void MRRecommendMixBuildOperation::setProcessing(std::string title, std::string artist) {
  {
    std::lock_guard guard(processingMutex_);
    processingTrackTitle_ = std::move(title);
    processingTrackArtist_ = std::move(artist);
  }
  notifyObservers("processingTrackTitle");
  notifyObservers("processingTrackArtist");
}

// Seeds started over seeds known: the queue at the start plus every refill,
// so the value stays within 0 to 1 however the queue was filled.
void MRRecommendMixBuildOperation::updateProgress() {
  const int planned = std::max(seedsPlanned_.load(), 1);
  setProgress(
      std::min(1.0f, static_cast<float>(seedsStarted_.load()) / static_cast<float>(planned)));
}

void MRRecommendMixBuildOperation::cancel() {
  MRServiceOperation::cancel();
  recommendOps_->cancelAllOperations();
}

Result<int> MRRecommendMixBuildOperation::enqueueFromHistoryAndRecommends() {
  if (!controllers_) {
    if (!parts_.store) return 0;
    controllers_ = std::make_unique<Controllers>(parts_.store->newContext());
  }
  Controllers& c = *controllers_;
  int queued = 0;
  const auto enqueue = [&c, &queued](const std::string& title, const std::string& artist,
                                     const std::optional<std::string>& itemHash) {
    auto item = c.queue.enqueueTrackForRecommendationWithTitle(title, "", artist, 1, false);
    if (!item) return;
    if (itemHash) item->setItemHash(itemHash);
    c.used.insertNewObjectWithTrackRecommendationQueueItem(*item);
    ++queued;
  };
  for (const auto& track : c.recommendTracks.findAll()) {
    const auto hash = track->itemHash();
    if (hash && c.used.findWithItemHash(*hash)) continue;
    const auto artist = track->artist();
    enqueue(track->title().value_or(""), artist ? artist->name().value_or("") : "", hash);
  }
  for (const auto& played : c.history.findNewerTracksWithCount(kHistorySeeds)) {
    const auto hash = played->itemHash();
    if (hash && c.used.findWithItemHash(*hash)) continue;
    enqueue(played->title().value_or(""), played->artist().value_or(""), std::nullopt);
  }
  if (Status saved = c.queue.save(); !saved.ok()) {
    c.queue.context()->rollback();
    return saved.error();
  }
  seedsPlanned_ += queued;
  return queued;
}

void MRRecommendMixBuildOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  if (!parts_.store) {
    setStatus(kMRServiceOperationStatusCompleted);
    return;
  }
  controllers_ = std::make_unique<Controllers>(parts_.store->newContext());
  Controllers& c = *controllers_;
  const int64_t initialQueue = c.queue.countAllItems();
  const int64_t initialTotal = initialQueue + c.recommendTracks.countAllItems();
  seedsPlanned_ = static_cast<int>(initialQueue);

  // A change of link ends an offline pause at once.
  std::weak_ptr<Operation> weak = weak_from_this();
  Reachability& reachability = parts_.env->reachability();
  auto linkChanges = std::make_shared<std::atomic<int>>(0);
  const auto observer = reachability.addObserver([weak, linkChanges](NetworkStatus) {
    ++*linkChanges;
    if (auto self = weak.lock()) self->wake();
  });

  std::optional<Error> failure;
  // Seeds whose Last.fm request failed for a temporary cause: kept in the
  // store for a later build, passed over by this one.
  std::set<int64_t> keptForLater;
  int temporaryFailuresInARow = 0;
  std::optional<Error> lastTemporaryFailure;
  double backOff = kFirstBackOffSeconds;
  for (;;) {
    const int64_t recommended = c.recommendTracks.countAllItems();
    if (recommended > kMostRecommendTracks || isCancelled()) break;

    const int width = determineConcurrentOperationCount();
    recommendOps_->setMaxConcurrentOperationCount(width);
    if (width == 0) {
      sleepFor(parts_.env->clock(), seconds(1),
               [this] { return determineConcurrentOperationCount() > 0; });
      continue;
    }

    if (c.queue.countAllItems() <= static_cast<int64_t>(keptForLater.size())) {
      if (recommended > kEnoughRecommendTracks) break;
      auto refilled = enqueueFromHistoryAndRecommends();
      if (!refilled.ok()) {
        failure = refilled.error();
        break;
      }
      if (*refilled == 0) break;
    }

    const auto items = c.queue.retrieveWithCount(width, keptForLater);
    if (items.empty()) break;
    OperationTracker seeds(*this);
    std::vector<std::shared_ptr<MRRecommendTrackOperation>> started;
    for (const auto& item : items) {
      if (isCancelled()) break;
      auto seed = std::make_shared<MRRecommendTrackOperation>(parts_, item->title(), item->artist(),
                                                              item->album().value_or(""));
      seed->subjectIsUserTrack = item->isUserTrack().value_or(false);
      seed->recommendLimit = recommendLimitForPriority(item->priority().value_or(0), initialTotal);
      seed->setBeginningBlock([this](MRRecommendTrackOperation& started) {
        ++seedsStarted_;
        setProcessing(started.subjectTitle().value_or(""), started.subjectArtist().value_or(""));
        updateProgress();
      });
      seed->setProgressBlock([this](MRRecommendTrackOperation&, const CDRecommendTrack& track) {
        ++recommendationsStored_;
        const auto artist = track.artist();
        setProcessing(track.title().value_or(""), artist ? artist->name().value_or("") : "");
        invokeProgressCallback();
      });
      seeds.track(*seed);
      started.push_back(seed);
      recommendOps_->addOperation(seed);
      // Seeds start apart, so their Last.fm requests do not all queue at once.
      sleepFor(parts_.env->clock(), seconds(2));
    }
    waitFor(parts_.env->clock(), kNoDeadline, [&seeds] { return seeds.allEnded(); });

    if (isCancelled()) {
      // A cancel ends the wait above at once; the seeds still at work stop
      // and finish their writes before the build says it is done, or they
      // would write on after it (past the end of a command, even).
      recommendOps_->cancelAllOperations();
      recommendOps_->waitUntilAllOperationsAreFinished();
    }
    for (size_t i = 0; i < started.size(); ++i) {
      const auto& seed = started[i];
      if (auto error = seed->storeError()) failure = error;
      const auto lastfmError = seed->lastfmAnswered() ? std::nullopt : seed->lastError();
      // Answered, even with nothing, or refused for good: used up. Not
      // asked (cancelled first), or failed for now: kept for a later build.
      if (seed->lastfmAnswered() || (lastfmError && !isTemporaryFailure(*lastfmError))) {
        if (seed->lastfmAnswered()) temporaryFailuresInARow = 0;
        c.queue.deleteObject(*items[i]);
      } else if (lastfmError) {
        keptForLater.insert(items[i]->objectID());
        lastTemporaryFailure = lastfmError;
        ++temporaryFailuresInARow;
      }
    }
    if (failure) break;
    if (Status saved = c.queue.save(); !saved.ok()) {
      // What could not be written now is not retried without end.
      c.queue.context()->rollback();
      failure = saved.error();
      break;
    }
    if (isCancelled()) break;

    if (temporaryFailuresInARow >= kTemporaryFailuresBeforeBackOff) {
      if (giveUpWhenLastfmIsDown_) {
        failure = Error(kMireluneErrorDomain, kLastfmNotAnsweringErrorCode,
                        "Last.fm is not answering",
                        lastTemporaryFailure ? lastTemporaryFailure->toString() : std::string());
        break;
      }
      log::warning("Recommendation build: Last.fm is not answering ({}); trying again in {} s",
                   lastTemporaryFailure ? lastTemporaryFailure->toString() : "", backOff);
      // A change of link may well be the cure: it ends the pause.
      const int changesBefore = linkChanges->load();
      sleepFor(parts_.env->clock(), seconds(backOff),
               [&linkChanges, changesBefore] { return linkChanges->load() != changesBefore; });
      backOff = std::min(backOff * 2, kLongestBackOffSeconds);
      keptForLater.clear();  // worth another try now
      temporaryFailuresInARow = 0;
    }
  }

  reachability.removeObserver(observer);
  if (failure) {
    log::error("Recommendation build: {}", failure->toString());
    setLastError(failure);
    setStatus(kMRServiceOperationStatusFailed);
    return;
  }
  setStatus(kMRServiceOperationStatusCompleted);
}

}  // namespace mr
