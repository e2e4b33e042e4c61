// The signed-in session: starts the background work once per process and
// tears it down at log-out.
#pragma once

#include <memory>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/MRAppServices.h"
#include "base/Env.h"
#include "base/MutexProtected.h"
#include "base/MRServiceOperationQueue.h"

namespace mr {

class MRAppDelegate;

class MRAppSession {
 public:
  MRAppSession(const Env& env, MRAppServices& services, MRServiceOperationQueue& queue);

  static std::shared_ptr<MRAppSession> sharedSession();
  static void setSharedSession(std::shared_ptr<MRAppSession> session);

  // Where log-out returns to the welcome flow.
  void setAppDelegate(MRAppDelegate* delegate) { appDelegate_ = delegate; }

  // Its body runs at most once per process: the playback-history observer,
  // the services' launch jobs (each only when none of its kind is queued),
  // the launch log and the connections.
  void readyToServe();
  bool hasServed() const;
  // Stops the player, signs out, cancels the services' launch jobs, and
  // returns to the welcome flow. Other jobs are left to finish.
  void logout();
  // Refreshes the account's connections, then the connections menu.
  void updateConnections();
  // Called on the main thread after each refresh of the connections, with
  // its error when it failed (the command line waits for it).
  void setConnectionsRefreshedHandler(std::function<void(std::optional<Error>)> handler) {
    connectionsRefreshed_.set(std::move(handler));
  }
  // Sends the push token as lower-case hex.
  void didRegisterForRemoteNotificationsWithDeviceToken(const Bytes& token);
  // Unlinks every connection of the service ("facebook" or "twitter"), then
  // refreshes the connections menu; a failure is shown as an "error" alert.
  void disconnectService(const std::string& service);

 private:
  const Env& env_;
  MRAppServices& services_;
  MRServiceOperationQueue& queue_;
  MRAppDelegate* appDelegate_ = nullptr;
  std::once_flag served_;
  mutable std::mutex mutex_;
  bool hasServed_ = false;
  MutexProtected<std::function<void(std::optional<Error>)>> connectionsRefreshed_;
};

}  // namespace mr
