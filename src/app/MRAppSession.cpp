#include "app/MRAppSession.h"

#include "app/MRAppDelegate.h"
#include "app/MRDefaultAppServices.h"
#include "base/Log.h"
#include "base/Localization.h"

namespace mr {
namespace {

SharedInstance<MRAppSession>& shared() {
  static SharedInstance<MRAppSession> instance;
  return instance;
}

}  // namespace

MRAppSession::MRAppSession(const Env& env, MRAppServices& services, MRServiceOperationQueue& queue)
    : env_(env), services_(services), queue_(queue) {}

std::shared_ptr<MRAppSession> MRAppSession::sharedSession() {
  return shared().get([] {
    // Kept for the life of the process, as the session is.
    static const auto services = MRDefaultAppServices::shared();
    return std::make_shared<MRAppSession>(Env::defaultEnv(), *services,
                                          *services->parts().serviceQueue);
  });
}

void MRAppSession::setSharedSession(std::shared_ptr<MRAppSession> session) {
  shared().replace(std::move(session));
}

void MRAppSession::readyToServe() {
  std::call_once(served_, [this] {
    {
      std::lock_guard guard(mutex_);
      hasServed_ = true;
    }
    services_.createPlaybackHistoryObserver();
    for (const auto kind : services_.launchJobKinds())
      queue_.addOperationOfKind(kind);
    services_.logLaunch();
    updateConnections();
  });
}

bool MRAppSession::hasServed() const {
  std::lock_guard guard(mutex_);
  return hasServed_;
}

void MRAppSession::logout() {
  services_.stopPlaylistPlayer();
  services_.signOut();
  for (const auto kind : services_.launchJobKinds()) {
    if (auto running = queue_.operationRunningForKind(kind)) running->cancel();
  }
  if (appDelegate_ != nullptr) {
    appDelegate_->closeMainWindow();
    appDelegate_->showWelcomeWindow();
  }
}

void MRAppSession::updateConnections() {
  services_.updateConnections(
      [this] {
        if (appDelegate_ != nullptr) appDelegate_->presenter().refreshConnectionsMenu();
        if (auto handler = connectionsRefreshed_.get()) handler(std::nullopt);
      },
      [this](const Error& error) {
        // Nobody is told: the menu keeps what it showed.
        log::warning("The connections were not refreshed: {}", error.toString());
        if (auto handler = connectionsRefreshed_.get()) handler(error);
      });
}

void MRAppSession::disconnectService(const std::string& service) {
  services_.disconnectService(
      service,
      [this] {
        if (appDelegate_ != nullptr) appDelegate_->presenter().refreshConnectionsMenu();
      },
      [this](const Error& error) {
        if (appDelegate_ != nullptr) {
          appDelegate_->presenter().runAlert(localizedString("error"), error.description(), {"OK"});
        }
      });
}

void MRAppSession::didRegisterForRemoteNotificationsWithDeviceToken(const Bytes& token) {
  services_.addDeviceToken(token);
}

}  // namespace mr
