// The favorite-artist input, shown as a sheet: the listener names artists,
// and their top tracks seed the recommendations. The first analysis uses
// the variant that asks for three names and cannot be cancelled.
//
// Channel "preferences-N" (kind "inputPreferences"):
//   program -> page  app.setPreferences({"description", "artists": [names],
//                      "canCancel", "busy", "progress": 0..1 or null})
//   page -> program  preferencesDidSubmit (artists: a JSON array of the
//                    names as edited), preferencesDidCancel
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/MRServiceOperationDelegateBridge.h"
#include "recommend/MRBuildRecommendationQueueFromArtistName.h"
#include "ui/MRScreen.h"
#include "ui/MRSheetHost.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRInputUserPreferencesWindowController : public MRScreen {
 public:
  // The first-analysis variant needs more than this many names.
  static constexpr size_t kFewestInitialArtists = 3;

  // The host must outlive the sheet.
  MRInputUserPreferencesWindowController(MRUiContext& context, MRSheetHost& host);
  ~MRInputUserPreferencesWindowController() override;

  std::string kind() const override { return "inputPreferences"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;
  void screenWillDisappear() override;

  // OK with the names as edited: checks them, then queues the seeding.
  // Ignored while a seeding from this window is queued.
  void proceed(std::vector<std::string> artists);
  // Cancels the queued seeding and closes; not offered by the first-analysis
  // variant.
  void cancel();

  virtual bool isInitialAnalysis() const { return false; }
  const std::vector<std::string>& artists() const { return artists_; }
  const std::shared_ptr<MRBuildRecommendationQueueFromArtistName>& opQueueing() const {
    return opQueueing_;
  }
  // What the page shows.
  Value state() const;

 protected:
  // False (with the alert shown) when the names may not go ahead.
  virtual bool checkArtists(const std::vector<std::string>& artists);
  virtual std::string descriptionText() const;
  MRSheetHost& host_;

 private:
  void render();
  void operationDidProgress(MRServiceOperation& operation, float progress);
  void operationDidComplete(MRServiceOperation& operation, MRServiceOperationStatus status);

  MRUiContext& context_;
  std::vector<std::string> artists_;
  std::shared_ptr<MRBuildRecommendationQueueFromArtistName> opQueueing_;
  std::shared_ptr<MRServiceOperationDelegateBridge> delegate_;
  std::optional<float> progress_;
  bool closed_ = false;
};

// The first analysis's variant: three names at least, no cancel.
class MRInputUserPreferencesForInitialAnalyzationWindowController final
    : public MRInputUserPreferencesWindowController {
 public:
  using MRInputUserPreferencesWindowController::MRInputUserPreferencesWindowController;
  bool isInitialAnalysis() const override { return true; }

 protected:
  bool checkArtists(const std::vector<std::string>& artists) override;
  std::string descriptionText() const override;
};

}  // namespace mr
