// The service queue's jobs (side menu item 4): each running or waiting
// operation with its localised name, status text and progress. The list is
// sent again when the queue's contents change and on a short timer while
// the screen is shown (progress has no notice of the queue's); ended
// operations are left out. Drawn by the shell as a list screen of kind
// "processingStatus".
//
// Channel "processingStatus-N": app.setList with items {"title",
// "subtitle", "progress"} and `empty`, the text shown without any job.
#pragma once

#include <memory>
#include <optional>

#include "base/MRServiceOperationQueue.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRProcessingStatusViewController final
    : public MRScreen,
      public MRServiceOperationQueueDelegate,
      public std::enable_shared_from_this<MRProcessingStatusViewController> {
 public:
  static constexpr double kRefreshInterval = 0.5;

  // Becomes the queue's delegate and starts the timer.
  static std::shared_ptr<MRProcessingStatusViewController> create(MRUiContext& context);
  ~MRProcessingStatusViewController() override;

  std::string kind() const override { return "processingStatus"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(true); }
  void onAppMessage(const std::string&, const AppParams&) override {}
  // Stops the timer and leaves the queue's delegate.
  void screenWillDisappear() override;

  void serviceOperationQueueHasChangedOperations(MRServiceOperationQueue& queue) override;

  // The list as sent to the page.
  Value operationList() const;
  // The localised name of an operation ("MRProcessingStatusViewController_" and
  // its class name), and its status text with the detail line.
  static std::string operationName(const MRServiceOperation& operation);
  static std::string statusText(const MRServiceOperation& operation);

 private:
  explicit MRProcessingStatusViewController(MRUiContext& context);
  // Sends the list unless it is the one sent last (`force`: anyway).
  void render(bool force);

  MRUiContext& context_;
  std::optional<TimerId> timer_;
  std::string lastSent_;
};

}  // namespace mr
