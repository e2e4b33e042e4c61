// The service queue's jobs with their status text and progress, refreshed
// every second while the screen is shown. Drawn by the shell.
//
// Channel "processingStatus-N":
//   app.setOperations([{"name", "status", "progress"}])  progress 0..1
#pragma once

#include <optional>

#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRProcessingStatusViewController final : public MRScreen {
 public:
  static constexpr double kRefreshInterval = 1.0;

  explicit MRProcessingStatusViewController(MRUiContext& context);
  ~MRProcessingStatusViewController() override;

  std::string kind() const override { return "processingStatus"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string&, const AppParams&) override {}
  void screenWillDisappear() override;

  // The list as sent to the page.
  Value operationList() const;

 private:
  void render();

  MRUiContext& context_;
  std::optional<TimerId> timer_;
};

}  // namespace mr
