#include "app/MRAppDelegate.h"

#include <sys/stat.h>

#include <cerrno>

#include "app/MRURLHandler.h"
#include "base/FileUtil.h"
#include "base/Log.h"
#include "base/Random.h"
#include "base/Semaphore.h"

namespace mr {

namespace {
constexpr const char* kStoreErrorDomain = "YOUR_ERROR_DOMAIN";
}

MRAppDelegate::MRAppDelegate(const Env& env, MRStoreStack& store, MRWindowPresenter& presenter,
                             MRAppServices& services, MRAppSession& session)
    : env_(env), store_(store), presenter_(presenter), services_(services), session_(session) {
  session_.setAppDelegate(this);
}

MRAppDelegate::~MRAppDelegate() {
  *alive_ = false;
  session_.setAppDelegate(nullptr);
}

void MRAppDelegate::applicationDidFinishLaunching() {
  seedRandom(static_cast<uint32_t>(env_.clock().currentDate().timeIntervalSinceReferenceDate()));
  std::weak_ptr<bool> alive = alive_;
  env_.main().post([this, alive] {
    if (alive.lock()) showMainApplicationWindow();
  });
}

void MRAppDelegate::showMainApplicationWindow() {
  if (persistentStoreCoordinator()) {
    proceedLaunchingApplication();
  } else {
    std::weak_ptr<bool> alive = alive_;
    migratePersistentStoreCoordinator([this, alive] {
      if (alive.lock()) proceedLaunchingApplication();
    });
  }
  presenter_.refreshMenu();
}

bool MRAppDelegate::proceedLaunchingApplication() {
  if (services_.isAuthorized()) {
    showMainWindow();
    session_.readyToServe();
    return true;
  }
  showWelcomeWindow();
  return false;
}

void MRAppDelegate::migratePersistentStoreCoordinator(std::function<void()> completion) {
  auto opened = std::make_shared<Semaphore>(env_.clock());
  std::weak_ptr<bool> alive = alive_;
  env_.main().post([this, alive, opened] {
    if (alive.lock()) {
      const Status status = store_.openMigrating(env_.paths().dataDir);
      if (!status.ok()) {
        presenter_.runAlert("Error", status.error().description(), {"OK"});
        log::error("Unresolved error {}, {}", status.error().toString(),
                   status.error().failureReason());
      }
    }
    opened->signal();
  });
  const Env& env = env_;
  env_.background().post([&env, opened, completion = std::move(completion)] {
    opened->wait();
    if (completion) env.main().post(completion);
  });
}

std::string MRAppDelegate::applicationFilesDirectory() const {
  return env_.paths().dataDir;
}

bool MRAppDelegate::persistentStoreCoordinator() {
  if (store_.isOpen()) return true;
  const std::string folder = applicationFilesDirectory();
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      presenter_.presentError(posixError(errno, "cannot read " + folder));
      return false;
    }
    if (Status made = makeDirectories(folder); !made.ok()) {
      presenter_.presentError(made.error());
      return false;
    }
  } else if (!S_ISDIR(info.st_mode)) {
    presenter_.presentError(
        Error(kStoreErrorDomain, 101,
              "Expected a folder to store application data, found a file (" + folder + ")."));
    return false;
  }
  const Status status = store_.open(folder);
  if (!status.ok()) {
    presenter_.presentError(status.error());
    return false;
  }
  return true;
}

bool MRAppDelegate::managedObjectContext() {
  if (store_.isOpen() && store_.hasMainContext()) return true;
  presenter_.presentError(Error(kStoreErrorDomain, 9999, "Failed to initialize the store",
                                "There was an error building up the data file."));
  return false;
}

void MRAppDelegate::saveAction() {
  if (!store_.commitEditing()) {
    log::warning("MRAppDelegate:saveAction: unable to commit editing before saving");
  }
  if (Status saved = store_.save(); !saved.ok()) presenter_.presentError(saved.error());
}

MRAppDelegate::TerminateReply MRAppDelegate::applicationShouldTerminate() {
  if (!store_.hasMainContext()) return TerminateReply::Now;
  if (!store_.commitEditing()) {
    log::warning("MRAppDelegate:applicationShouldTerminate: unable to commit editing to terminate");
    return TerminateReply::Cancel;
  }
  if (!store_.hasChanges()) return TerminateReply::Now;
  const Status saved = store_.save();
  if (saved.ok()) return TerminateReply::Now;
  if (presenter_.presentError(saved.error())) return TerminateReply::Cancel;
  const int choice = presenter_.runAlert(
      "Could not save changes while quitting. Quit anyway?",
      "Quitting now will lose any changes you have made since the last successful save",
      {"Quit anyway", "Cancel"});
  return choice == 0 ? TerminateReply::Now : TerminateReply::Cancel;
}

void MRAppDelegate::showMainWindow() {
  mainWindowShown_ = true;
  presenter_.showMainWindow();
}

void MRAppDelegate::closeMainWindow() {
  if (!mainWindowShown_) return;
  mainWindowShown_ = false;
  presenter_.closeMainWindow();
}

void MRAppDelegate::showWelcomeWindow() {
  welcomeWindowShown_ = true;
  presenter_.showWelcomeWindow();
}

void MRAppDelegate::closeWelcomeWindow() {
  if (!welcomeWindowShown_) return;
  presenter_.closeWelcomeWindow();
  std::weak_ptr<bool> alive = alive_;
  env_.main().post([this, alive] {
    if (alive.lock()) welcomeWindowShown_ = false;
  });
}

bool MRAppDelegate::applicationShouldHandleReopen(bool) {
  if (!welcomeWindowShown_ && services_.isAuthorized()) {
    showMainWindow();
  } else {
    showWelcomeWindow();
  }
  return true;
}

bool MRAppDelegate::handleGetURLEvent(const std::string& url) {
  MRURLHandler handler(url, session_);
  return handler.handleURL();
}

}  // namespace mr
