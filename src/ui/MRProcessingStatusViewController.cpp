#include "ui/MRProcessingStatusViewController.h"

#include "base/Localization.h"
#include "base/MRPlaylistBuildOperation.h"
#include "library/MRUserSongCheckOperation.h"
#include "playback/MRBuildPlaylistFromLastfmTracksOperation.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "social/MRNewReleaseCheckOperation.h"
#include "social/MRSyncFavoriteTracksOperation.h"
#include "ui/MRPlaylistViewController.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {

// "artist / title", or whichever of the two is known.
std::string detailLine(const std::string& artist, const std::string& title) {
  if (artist.empty() || title.empty()) return artist.empty() ? title : artist;
  return formatLocalized(localizedString("MRProcessingStatusViewController_Detail", "%@ / %@"),
                         {artist, title});
}

std::string joined(const std::string& status, const std::string& detail) {
  if (detail.empty()) return status;
  if (status.empty()) return detail;
  return status + " — " + detail;
}

bool hasEnded(const MRServiceOperation& operation) {
  const auto status = operation.status();
  return operation.isFinished() || status == kMRServiceOperationStatusCompleted ||
         status == kMRServiceOperationStatusCanceled || status == kMRServiceOperationStatusFailed;
}

}  // namespace

MRProcessingStatusViewController::MRProcessingStatusViewController(MRUiContext& context)
    : context_(context) {
  bridge_ = context.hub->open(context.hub->newChannelName("processingStatus"), this);
}

std::shared_ptr<MRProcessingStatusViewController> MRProcessingStatusViewController::create(
    MRUiContext& context) {
  std::shared_ptr<MRProcessingStatusViewController> screen(
      new MRProcessingStatusViewController(context));
  if (context.mix.serviceQueue) {
    context.mix.serviceQueue->setDelegate(
        std::weak_ptr<MRServiceOperationQueueDelegate>(screen));
  }
  std::weak_ptr<MRProcessingStatusViewController> weak = screen;
  screen->timer_ = context.environment().main().repeat(seconds(kRefreshInterval), [weak] {
    if (auto self = weak.lock()) self->render(false);
  });
  return screen;
}

MRProcessingStatusViewController::~MRProcessingStatusViewController() { screenWillDisappear(); }

std::string MRProcessingStatusViewController::title() const {
  return localizedString("ProcessingStatus");
}

void MRProcessingStatusViewController::screenWillDisappear() {
  if (timer_) context_.environment().main().cancel(*timer_);
  timer_.reset();
  auto& queue = context_.mix.serviceQueue;
  if (queue && queue->delegate().get() == this) queue->setDelegate({});
}

void MRProcessingStatusViewController::serviceOperationQueueHasChangedOperations(
    MRServiceOperationQueue&) {
  if (timer_) render(false);
}

std::string MRProcessingStatusViewController::operationName(const MRServiceOperation& operation) {
  const std::string name = operation.className();
  return localizedString("MRProcessingStatusViewController_" + name, name);
}

std::string MRProcessingStatusViewController::statusText(const MRServiceOperation& operation) {
  const auto status = operation.status();
  if (status == kMRServiceOperationStatusProcessing) {
    if (auto check = dynamic_cast<const MRUserSongCheckOperation*>(&operation)) {
      return joined(
          formatLocalized(
              localizedString("MRAnalyzingProgressViewController_userSongCheckProgress"),
              {std::to_string(check->songChecked()), std::to_string(check->songTotal())}),
          detailLine(check->processingTrackArtist(), check->processingTrackTitle()));
    }
    if (auto build = dynamic_cast<const MRRecommendMixBuildOperation*>(&operation)) {
      return joined(localizedString("MRAnalyzingProgressViewController_recommendMixBuildProgress"),
                    detailLine(build->processingTrackArtist(), build->processingTrackTitle()));
    }
    if (auto sync = dynamic_cast<const MRSyncFavoriteTracksOperation*>(&operation)) {
      return joined(localizedString("MRAnalyzingProgressViewController_synchronizingFavorites"),
                    detailLine(sync->processingArtistName(), sync->processingTrackTitle()));
    }
    if (auto lastfm = dynamic_cast<const MRBuildPlaylistFromLastfmTracksOperation*>(&operation)) {
      const std::string detail =
          detailLine(lastfm->processingArtistName(), lastfm->processingTrackTitle());
      if (!detail.empty()) return detail;
    }
    if (auto check = dynamic_cast<const MRNewReleaseCheckOperation*>(&operation)) {
      const std::string artist = check->processingArtistName();
      if (!artist.empty()) return artist;
    }
    if (auto mix = dynamic_cast<const MRPlaylistBuildOperation*>(&operation)) {
      return joined(localizedString("kMRServiceOperationStatusProcessing"),
                    detailLine(mix->locatingTrackArtist(), mix->locatingTrackTitle()));
    }
  }
  if (status == kMRServiceOperationStatusCompleted && operation.isCancelled()) {
    return localizedString("kMRServiceOperationStatusCanceled");
  }
  const std::string key(operation.statusTextKey());
  return key.empty() ? std::string() : localizedString(key);
}

Value MRProcessingStatusViewController::operationList() const {
  Array list;
  if (!context_.mix.serviceQueue) return Value(list);
  for (const auto& operation : context_.mix.serviceQueue->operations()) {
    auto job = std::dynamic_pointer_cast<MRServiceOperation>(operation);
    if (!job || hasEnded(*job)) continue;
    const bool running = job->status() != kMRServiceOperationStatusWaiting;
    list.emplace_back(Dictionary{{"title", Value(operationName(*job))},
                                 {"subtitle", Value(statusText(*job))},
                                 {"progress", running ? Value(static_cast<double>(job->progress()))
                                                      : Value()}});
  }
  return Value(list);
}

void MRProcessingStatusViewController::render(bool force) {
  const std::string script = scriptCall(
      "app.setList",
      Value(Dictionary{{"title", Value(title())},
                       {"items", operationList()},
                       {"empty", Value(localizedString("MRProcessingStatusViewController_NoTask"))}}));
  if (!force && script == lastSent_) return;
  lastSent_ = script;
  bridge_->evaluate(script);
}

}  // namespace mr
