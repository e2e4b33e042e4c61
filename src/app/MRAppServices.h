// What the launch sequence and the session drive in the layers above them.
// Each layer fills in its part; until then the defaults do nothing, so the
// skeleton runs end to end.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/MRServiceOperationKind.h"
#include "base/Value.h"

namespace mr {

// The local store as the launch sequence sees it.
class MRStoreStack {
 public:
  virtual ~MRStoreStack() = default;
  // Opens the store file in `folder` as it is.
  virtual Status open(const std::string& folder) = 0;
  // Opens it upgrading an older file in place.
  virtual Status openMigrating(const std::string& folder) = 0;
  virtual bool isOpen() const = 0;
  // The main-thread context: whether it exists, commits pending edits, has
  // unsaved changes, saves.
  virtual bool hasMainContext() const = 0;
  virtual bool commitEditing() = 0;
  virtual bool hasChanges() const = 0;
  virtual Status save() = 0;
};

// Windows, alerts and the menu, as states of the flow.
class MRWindowPresenter {
 public:
  virtual ~MRWindowPresenter() = default;
  virtual void showMainWindow() = 0;
  virtual void closeMainWindow() = 0;
  virtual void showWelcomeWindow() = 0;
  virtual void closeWelcomeWindow() = 0;
  // Shows the error; true when the listener dealt with it (a recovery).
  virtual bool presentError(const Error& error) = 0;
  // A modal alert; returns the index of the button pressed.
  virtual int runAlert(const std::string& title, const std::string& message,
                       const std::vector<std::string>& buttons) = 0;
  virtual void refreshMenu() {}
  virtual void refreshConnectionsMenu() {}
  virtual void openInBrowser(const std::string& /*url*/) {}
};

// The account and the background services the session starts and stops.
class MRAppServices {
 public:
  virtual ~MRAppServices() = default;
  virtual bool isAuthorized() const { return false; }
  virtual void signOut() {}
  virtual void createPlaybackHistoryObserver() {}
  // The jobs the session queues when ready to serve and cancels at log-out,
  // in that order; kinds nobody registered on the queue are skipped.
  virtual std::vector<MRServiceOperationKind> launchJobKinds() const { return {}; }
  virtual void logLaunch() {}
  // Refreshes the account's connections; `done` runs on the main thread
  // after the list was saved, `failed` there when the refresh failed.
  virtual void updateConnections(const std::function<void()>& /*done*/,
                                 const std::function<void(const Error&)>& /*failed*/) {}
  virtual void stopPlaylistPlayer() {}
  virtual void addDeviceToken(const Bytes& /*token*/) {}
  // Invalidates every connection of "facebook" or "twitter"; `done` runs on
  // the main thread once all were invalidated, `failed` for each failure.
  virtual void disconnectService(const std::string& /*service*/,
                                 const std::function<void()>& /*done*/,
                                 const std::function<void(const Error&)>& /*failed*/) {}
};

}  // namespace mr
