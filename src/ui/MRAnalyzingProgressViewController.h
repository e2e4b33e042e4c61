// The first analysis of the welcome window: checks the music library,
// uploads it, builds the first recommendations, and offers "getStarted"
// once 30 exist. It watches the two jobs through a delegate bridge while it
// is shown and lets them run on without it when it goes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/MRServiceOperationDelegateBridge.h"
#include "base/MRServiceOperationKind.h"
#include "ui/MRScreen.h"
#include "ui/MRSheetHost.h"
#include "ui/MRUiContext.h"

namespace mr {

// What the analysis asks of the welcome window, which also hosts its sheets.
class MRAnalyzingProgressHost : public MRSheetHost {
 public:
  // The texts or the bar changed: the window sends the screen again.
  virtual void analyzingProgressDidChange() = 0;
  // Shows `sheet` over the window; `didEnd` runs once when it has closed.
  virtual void beginSheet(std::shared_ptr<MRScreen> sheet, std::function<void()> didEnd) = 0;
  // "getStarted": the flow ends.
  virtual void analyzingProgressDidGetStarted() = 0;
};

class MRAnalyzingProgressViewController {
 public:
  static constexpr double kTimerInterval = 0.2;
  // Recommendations the listener needs before the main window.
  static constexpr int64_t kEnoughRecommendTracks = 30;
  // Checked songs after which recommending starts beside the check.
  static constexpr int32_t kSongsBeforeRecommending = 100;
  // The pause after the library failure alert before its choice acts.
  static constexpr double kAlertChoiceDelay = 0.4;
  // The library failure alert's buttons.
  enum LibraryFailureChoice { kEnterManually = 0, kOtherLibrary = 1, kRetry = 2 };

  MRAnalyzingProgressViewController(MRUiContext& context, MRAnalyzingProgressHost& host);
  ~MRAnalyzingProgressViewController();

  // Shown: the timer starts, the user song check is queued and watched.
  void viewDidLoad();
  // Gone (popped or the window closed): timer stopped, jobs let go.
  void viewWillDisappear();

  // Makes the bridge the delegate of the song check and the recommend build
  // in the queue and boosts the build (false); lets them go (true).
  void setDelegateForServiceOperationsToNull(bool toNull);
  // Queues a job of the kind already watched, as a check of a missing
  // library may end before the job could be found in the queue.
  void addWatchedOperationOfKind(MRServiceOperationKind kind);
  void watch(MRServiceOperation& operation, bool watching);

  // The two jobs' reports, as the bridge hands them over.
  void userSongCheckDidProgress(MRServiceOperationStatus status, float progress,
                                int32_t songChecked, int32_t songTotal);
  void userSongCheckDidComplete(const std::optional<Error>& lastError);
  void recommendMixBuildDidProgress(MRServiceOperationStatus status, float progress);
  void recommendMixBuildDidComplete();
  // Every 0.2 s: the count of recommendations, and "readyToUse" at 30.
  void timerTick();
  void getStarted();

  // The library failure alert and what its buttons do.
  void showLibraryFailureAlert();
  void libraryFailureAlertDidEnd(int button);
  // The first-analysis favorite-artist sheet; when it closes the build is
  // queued again.
  void askForFavoriteArtists();

  // {"screen": "analysis", "title", "progressText", "recommendText",
  //  "fraction": 0..1 or null, "ready"}
  Value state() const;
  bool isReady() const { return ready_; }
  bool isAskingForArtists() const { return askingForArtists_; }

 private:
  void queueRecommendMixBuild();
  void retryUserSongCheck();
  void changed();

  MRUiContext& context_;
  MRAnalyzingProgressHost& host_;
  std::shared_ptr<MRServiceOperationDelegateBridge> bridge_;
  std::optional<TimerId> timer_;
  std::optional<TimerId> pendingChoice_;
  std::string titleKey_ = "analyzingYourPreferences";
  std::string progressText_;
  std::string recommendText_;
  std::optional<double> fraction_;
  bool ready_ = false;
  bool servedOnce_ = false;
  bool queuedAtHundred_ = false;
  bool askingForArtists_ = false;
  bool showingFailure_ = false;
  bool gone_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace mr
