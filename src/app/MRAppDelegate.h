// The launch sequence: open the store (as it is, else upgrading it), then
// the main window when the account is authorised and the welcome flow when
// not; and the save on quit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/MRAppServices.h"
#include "app/MRAppSession.h"
#include "base/Env.h"

namespace mr {

class MRAppDelegate {
 public:
  enum class TerminateReply { Now, Cancel };

  MRAppDelegate(const Env& env, MRStoreStack& store, MRWindowPresenter& presenter,
                MRAppServices& services, MRAppSession& session);
  ~MRAppDelegate();

  // Launch step 1: seeds the random source and hands over to step 2 on the
  // next turn of the main loop (where a crash reporter would call back).
  void applicationDidFinishLaunching();
  // Step 2: opens the store; on failure tries the upgrade, and proceeds in
  // either case once the attempt is over.
  void showMainApplicationWindow();
  // Step 3: the main window and the session's work, or the welcome flow.
  bool proceedLaunchingApplication();
  void migratePersistentStoreCoordinator(std::function<void()> completion);

  // The store folder; created when missing. Error 101 when it is a file.
  std::string applicationFilesDirectory() const;
  // Opens the store as it is; false (after telling the listener) on failure.
  bool persistentStoreCoordinator();
  // Error 9999 when the store is not open.
  bool managedObjectContext();

  void saveAction();
  TerminateReply applicationShouldTerminate();

  void showMainWindow();
  void closeMainWindow();
  void showWelcomeWindow();
  void closeWelcomeWindow();
  bool isMainWindowShown() const { return mainWindowShown_; }
  bool isWelcomeWindowShown() const { return welcomeWindowShown_; }
  // Always true: shows the window of the current state.
  bool applicationShouldHandleReopen(bool hasVisibleWindows);
  // A URL from the desktop; true when it was handled.
  bool handleGetURLEvent(const std::string& url);

  MRWindowPresenter& presenter() const { return presenter_; }

 private:
  const Env& env_;
  MRStoreStack& store_;
  MRWindowPresenter& presenter_;
  MRAppServices& services_;
  MRAppSession& session_;
  bool mainWindowShown_ = false;
  bool welcomeWindowShown_ = false;
  // Cleared when this delegate goes, so late callbacks do nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace mr
