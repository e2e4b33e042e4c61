#include "ui/MRAnalyzingProgressViewController.h"

#include <algorithm>

#include "base/Localization.h"
#include "base/MRUserDefaults.h"
#include "library/MRUserSongCheckOperation.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "store/CDRecommendTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "ui/MRInputUserPreferencesWindowController.h"
#include "ui/MRChangeMusicLibraryWindowController.h"

namespace mr {

MRAnalyzingProgressViewController::MRAnalyzingProgressViewController(MRUiContext& context,
                                                                     MRAnalyzingProgressHost& host)
    : context_(context), host_(host), bridge_(std::make_shared<MRServiceOperationDelegateBridge>()) {
  bridge_->progressBlock = [this](MRServiceOperation& operation, MRServiceOperationStatus status,
                                  float progress) {
    if (auto* check = dynamic_cast<MRUserSongCheckOperation*>(&operation)) {
      userSongCheckDidProgress(status, progress, check->songChecked(), check->songTotal());
    } else if (dynamic_cast<MRRecommendMixBuildOperation*>(&operation)) {
      recommendMixBuildDidProgress(status, progress);
    }
  };
  bridge_->completionBlock = [this](MRServiceOperation& operation,
                                    MRServiceOperationStatus status) {
    // Codes above 12 are steps of the job, not its end.
    if (status != kMRServiceOperationStatusCompleted && status != kMRServiceOperationStatusFailed) {
      return;
    }
    if (dynamic_cast<MRUserSongCheckOperation*>(&operation)) {
      userSongCheckDidComplete(operation.lastError());
    } else if (dynamic_cast<MRRecommendMixBuildOperation*>(&operation)) {
      recommendMixBuildDidComplete();
    }
  };
}

MRAnalyzingProgressViewController::~MRAnalyzingProgressViewController() {
  *alive_ = false;
  viewWillDisappear();
}

void MRAnalyzingProgressViewController::changed() {
  if (!gone_) host_.analyzingProgressDidChange();
}

void MRAnalyzingProgressViewController::viewDidLoad() {
  gone_ = false;
  titleKey_ = "analyzingYourPreferences";
  progressText_ = localizedString("preparing");
  fraction_.reset();
  ready_ = false;
  if (!timer_) {
    timer_ = context_.environment().main().repeat(seconds(kTimerInterval), [this] { timerTick(); });
  }
  addWatchedOperationOfKind(kMRUserSongCheckOperationKind);
  changed();
}

void MRAnalyzingProgressViewController::viewWillDisappear() {
  if (timer_) context_.environment().main().cancel(*timer_);
  timer_.reset();
  if (pendingChoice_) context_.environment().main().cancel(*pendingChoice_);
  pendingChoice_.reset();
  if (!gone_) setDelegateForServiceOperationsToNull(true);
  gone_ = true;
}

void MRAnalyzingProgressViewController::setDelegateForServiceOperationsToNull(bool toNull) {
  auto queue = context_.mix.serviceQueue;
  if (!queue) return;
  if (auto check = queue->operationRunningForKind(kMRUserSongCheckOperationKind)) {
    watch(*check, !toNull);
  }
  if (auto build = queue->operationRunningForClass<MRRecommendMixBuildOperation>()) {
    watch(*build, !toNull);
  }
}

void MRAnalyzingProgressViewController::watch(MRServiceOperation& operation, bool watching) {
  std::weak_ptr<MRServiceOperationDelegate> delegate;
  if (watching) delegate = bridge_;
  operation.setDelegate(delegate);
  if (auto* build = dynamic_cast<MRRecommendMixBuildOperation*>(&operation)) {
    build->setBoostMode(watching);
    // While the listener watches, a Last.fm that keeps failing ends the
    // build, so the screen can offer the favorite artists instead of
    // waiting without end; left alone, the build backs off and tries again.
    build->setGiveUpWhenLastfmIsDown(watching);
  }
}

void MRAnalyzingProgressViewController::addWatchedOperationOfKind(MRServiceOperationKind kind) {
  if (context_.mix.serviceQueue) {
    context_.mix.serviceQueue->addOperationOfKind(
        kind, [this](MRServiceOperation& operation) { watch(operation, true); });
  }
  // One already queued (from the launch) is watched too.
  setDelegateForServiceOperationsToNull(false);
}

void MRAnalyzingProgressViewController::userSongCheckDidProgress(MRServiceOperationStatus status,
                                                                 float progress,
                                                                 int32_t songChecked,
                                                                 int32_t songTotal) {
  if (status != kMRServiceOperationStatusProcessing) return;
  fraction_ = std::clamp(static_cast<double>(progress), 0.0, 1.0);
  progressText_ = formatLocalized(localizedString("userSongCheckProgress"),
                             {std::to_string(songChecked), std::to_string(songTotal)});
  if (songChecked == kSongsBeforeRecommending && !queuedAtHundred_) {
    queuedAtHundred_ = true;
    queueRecommendMixBuild();
  }
  changed();
}

void MRAnalyzingProgressViewController::userSongCheckDidComplete(
    const std::optional<Error>& lastError) {
  progressText_.clear();
  changed();
  if (lastError) {
    showLibraryFailureAlert();
    return;
  }
  CDTrackRecommendationQueueEntityController queue(context_.store.get());
  if (queue.countAllItems() > 0) {
    setDelegateForServiceOperationsToNull(false);
  } else {
    askForFavoriteArtists();
  }
}

void MRAnalyzingProgressViewController::recommendMixBuildDidProgress(
    MRServiceOperationStatus status, float progress) {
  if (status != kMRServiceOperationStatusProcessing) return;
  if (!fraction_) fraction_ = std::clamp(static_cast<double>(progress), 0.0, 1.0);
  changed();
}

void MRAnalyzingProgressViewController::recommendMixBuildDidComplete() {
  CDRecommendTrackEntityController tracks(context_.store.get());
  if (tracks.countAllItems() < kEnoughRecommendTracks) askForFavoriteArtists();
}

void MRAnalyzingProgressViewController::timerTick() {
  CDRecommendTrackEntityController tracks(context_.store.get());
  const int64_t count = tracks.countAllItems();
  recommendText_ = formatLocalized(localizedString("gotRecommendTrack"), {std::to_string(count)});
  const double value =
      std::min(1.0, static_cast<double>(count) / static_cast<double>(kEnoughRecommendTracks));
  fraction_ = value;
  if (value >= 1.0) {
    titleKey_ = "readyToUse";
    ready_ = true;
    if (!servedOnce_) {
      servedOnce_ = true;
      if (context_.readyToServe) context_.readyToServe();
    }
  }
  changed();
}

void MRAnalyzingProgressViewController::getStarted() {
  if (!ready_) return;
  viewWillDisappear();
  host_.analyzingProgressDidGetStarted();
}

void MRAnalyzingProgressViewController::queueRecommendMixBuild() {
  addWatchedOperationOfKind(kMRRecommendMixBuildOperationKind);
}

void MRAnalyzingProgressViewController::retryUserSongCheck() {
  queuedAtHundred_ = false;
  progressText_ = localizedString("preparing");
  fraction_.reset();
  addWatchedOperationOfKind(kMRUserSongCheckOperationKind);
  changed();
}

void MRAnalyzingProgressViewController::showLibraryFailureAlert() {
  if (showingFailure_) return;
  showingFailure_ = true;
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  MRAlert alert;
  alert.title = localizedString("error");
  alert.message = formatLocalized(localizedString("Failed to load your music library:\n%@"),
                             {defaults.iTunesMusicLibraryFilePath()});
  alert.buttons = {localizedString("Enter your music preferences manually"),
                   localizedString("Use other music library"), localizedString("retry")};
  std::weak_ptr<bool> alive = alive_;
  host_.showAlert(std::move(alert), [this, alive](int button) {
    if (alive.expired()) return;
    showingFailure_ = false;
    libraryFailureAlertDidEnd(button);
  });
}

void MRAnalyzingProgressViewController::libraryFailureAlertDidEnd(int button) {
  if (gone_) return;
  if (pendingChoice_) context_.environment().main().cancel(*pendingChoice_);
  // The alert is off the screen before a sheet comes or the check restarts.
  pendingChoice_ = context_.environment().main().postAfter(
      seconds(kAlertChoiceDelay), [this, button] {
        pendingChoice_.reset();
        switch (button) {
          case kRetry:
            retryUserSongCheck();
            break;
          case kOtherLibrary: {
            std::weak_ptr<bool> alive = alive_;
            host_.beginSheet(std::make_shared<MRChangeMusicLibraryWindowController>(context_, host_),
                             [this, alive] {
                               if (!alive.expired() && !gone_) retryUserSongCheck();
                             });
            break;
          }
          case kEnterManually:
          default:
            // Dismissed without a choice: the manual way, as nothing else moves on.
            askForFavoriteArtists();
            break;
        }
      });
}

void MRAnalyzingProgressViewController::askForFavoriteArtists() {
  if (askingForArtists_ || gone_) return;
  askingForArtists_ = true;
  std::weak_ptr<bool> alive = alive_;
  host_.beginSheet(
      std::make_shared<MRInputUserPreferencesForInitialAnalyzationWindowController>(context_, host_),
      [this, alive] {
        if (alive.expired()) return;
        askingForArtists_ = false;
        if (gone_) return;
        queueRecommendMixBuild();
        titleKey_ = "analyzingYourPreferences";
        changed();
      });
}

Value MRAnalyzingProgressViewController::state() const {
  return Value(Dictionary{
      {"screen", Value("analysis")},
      {"title", Value(localizedString(titleKey_))},
      {"progressText", Value(progressText_)},
      {"recommendText", Value(recommendText_)},
      {"fraction", fraction_ ? Value(*fraction_) : Value()},
      {"ready", Value(ready_)},
  });
}

}  // namespace mr
