// The windows of the desktop program as the launch sequence and the session
// drive them: the welcome flow or the main window in the one page, alerts
// when neither is there (a store that cannot be opened), and the menu.
// Main thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MRAppServices.h"
#include "ui/BridgeHub.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRMainWindowController;
class MRWelcomeWindowController;

class MRDesktopPresenter final : public MRWindowPresenter, public ScriptBridgeDelegate {
 public:
  // Fills in the context each window works with, once the store is open;
  // false when it cannot be (the windows then stay closed).
  using ContextMaker = std::function<bool(MRUiContext& context)>;

  MRDesktopPresenter(BridgeHub& hub, ContextMaker makeContext);
  ~MRDesktopPresenter() override;

  // Where get-started leads (the app delegate closes the welcome flow and
  // shows the main window).
  void setGetStarted(std::function<void()> getStarted) { getStarted_ = std::move(getStarted); }

  MRMainWindowController* mainWindow() const { return main_.get(); }
  MRWelcomeWindowController* welcomeWindow() const { return welcome_.get(); }
  MRUiContext* context() { return contextReady_ ? &context_ : nullptr; }

  // MRWindowPresenter.
  void showMainWindow() override;
  void closeMainWindow() override;
  void showWelcomeWindow() override;
  void closeWelcomeWindow() override;
  bool presentError(const Error& error) override;
  // Not modal in a page: shows the alert and answers its first button.
  int runAlert(const std::string& title, const std::string& message,
               const std::vector<std::string>& buttons) override;
  void refreshMenu() override;
  void refreshConnectionsMenu() override;
  void openInBrowser(const std::string& url) override;

  // ScriptBridgeDelegate of the stand-in "main" channel.
  void onAppMessage(const std::string& name, const AppParams& params) override;

 private:
  bool ensureContext();
  void pageConnected();
  void showStandInAlert(const std::string& title, const std::string& message,
                        const std::vector<std::string>& buttons);

  BridgeHub& hub_;
  ContextMaker makeContext_;
  MRUiContext context_;
  bool contextReady_ = false;
  std::function<void()> getStarted_;
  std::unique_ptr<MRMainWindowController> main_;
  std::unique_ptr<MRWelcomeWindowController> welcome_;
  // Alerts shown while no window is: on a "main" channel of its own.
  std::unique_ptr<ScriptBridge> standIn_;
  std::vector<std::string> standInScripts_;
  int nextAlert_ = 1;
};

}  // namespace mr
