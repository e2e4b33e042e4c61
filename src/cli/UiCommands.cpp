// The window and its pages: `mirelune` opens the window, `mirelune
// --browser` shows the pages in the desktop's browser, `mirelune ui
// --no-window` only serves them. One program per profile: a later start
// asks the running one to come forward and ends.
#include <glib-unix.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <optional>

#include "base/Log.h"
#include "base/SystemLocale.h"
#include "cli/Commands.h"
#include "cli/Support.h"
#include "playback/MRPlaylistPlayer.h"
#include "ui/BridgeHub.h"
#include "app/MRAppSession.h"
#include "service/ovloAuth.h"
#include "ui/MRDesktopWindow.h"
#include "app/MRAppDelegate.h"
#include "app/MRDefaultAppServices.h"
#include "app/MRSQLiteStore.h"
#include "ui/MRDesktopPresenter.h"
#include "ui/MRSingleInstance.h"
#include "ui/MRUiContext.h"
#include "ui/MRUiStrings.h"
#include "ui/OpenInBrowser.h"
#include "ui/UiServer.h"

namespace mr::cli {
namespace {

enum class UiMode { Window, Browser, NoWindow };

gboolean quitOnSignal(gpointer data) {
  static_cast<Dispatcher*>(data)->quit();
  return G_SOURCE_CONTINUE;
}

int runUi(UiMode mode, uint16_t port) {
  if (mode == UiMode::Window && !MRDesktopWindow::displayAvailable()) {
    return fail(
        "there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
        "set). Run \"mirelune --browser\" to use your browser, or \"mirelune ui --no-window\" "
        "to serve the pages and print their address.");
  }
  const Env& env = Env::defaultEnv();
  Dispatcher& main = env.main();

  // Requests of later starts; set once there is something to raise.
  std::function<void(const std::string&)> onRequest;
  auto claim = MRSingleInstance::claim(env.paths().dataDir, [&onRequest](const std::string& r) {
    if (onRequest) onRequest(r);
  });
  if (!claim.ok()) {
    if (claim.error().domain() != kMireluneErrorDomain ||
        claim.error().code() != MRSingleInstance::kErrorRunningElsewhere) {
      return fail(claim.error().toString());
    }
    if (Status sent = MRSingleInstance::sendToRunning(env.paths().dataDir, "raise"); !sent.ok()) {
      return fail("Mirelune is already running for this profile but did not answer: " +
                  sent.error().description());
    }
    std::cout << "Mirelune is already running for this profile; it was asked to come forward."
              << std::endl;
    return 0;
  }

  const std::string webDir = UiServer::defaultWebDir();
  const MRUiStrings strings =
      MRUiStrings::load(webDir + "/strings", MRUiStrings::languageFor(preferredLanguages()));
  strings.registerTexts();

  // The launch as the app does it: the store (upgraded when it must be),
  // then the welcome flow or, for a signed-in listener, the main window and
  // the background work.
  MRSQLiteStore store;
  MRDefaultAppServices services(env, MRDefaultAppServices::sharedParts());
  MRAppSession appSession(env, services, *services.parts().serviceQueue);
  BridgeHub hub;
  bool jobsRegistered = false;
  MRDesktopPresenter presenter(hub, [&](MRUiContext& context) {
    if (!store.isOpen()) return false;
    if (!jobsRegistered) {
      services.registerLaunchJobs(store.database());
      services.createPlaybackHistoryObserver();
      jobsRegistered = true;
    }
    context.env = &env;
    context.store = store.database();
    context.mix = services.mixParts(store.database());
    context.favoriteCache = services.favoriteCacheParts(store.database());
    context.player = MRPlaylistPlayer::sharedPlaylistPlayer();
    context.notifications = MRPlayerParts::defaults().notifications;
    context.auth = ovloAuth::sharedInstance();
    context.connections = services.parts().connections;
    context.openInBrowser = [](const std::string& url) {
      if (Status opened = openInBrowser(url); !opened.ok()) {
        log::warning("{}", opened.error().description());
      }
    };
    context.disconnectService = [&appSession](const std::string& service) {
      appSession.disconnectService(service);
    };
    context.logout = [&appSession] { appSession.logout(); };
    context.readyToServe = [&appSession] { appSession.readyToServe(); };
    return true;
  });
  MRAppDelegate delegate(env, store, presenter, services, appSession);
  presenter.setGetStarted([&delegate] {
    delegate.closeWelcomeWindow();
    delegate.showMainWindow();
  });
  delegate.applicationDidFinishLaunching();

  UiServer server(hub, UiServer::Options{webDir, port, strings.json()});
  // The terms of use are the Mirelune web host's page, shown in a frame.
  server.setFrameSources({env.config().mireluneWebBaseUrl});
  if (Status started = server.start(); !started.ok()) {
    return fail(started.error().description());
  }
  const std::string address = server.firstAddress();

  std::unique_ptr<MRDesktopWindow> window;
  const auto openAddress = [&address] {
    if (Status opened = openInBrowser(address); !opened.ok()) {
      std::cerr << "mirelune: " << opened.error().description() << "; open " << address
                << " yourself" << std::endl;
    }
  };
  switch (mode) {
    case UiMode::Window: {
      if (Status ready = MRDesktopWindow::initialize(); !ready.ok()) {
        return fail(ready.error().description() +
                    ". Run \"mirelune --browser\" to use your browser instead.");
      }
      MRDesktopWindow::Callbacks callbacks;
      callbacks.openExternal = [](const std::string& url) {
        if (Status opened = openInBrowser(url); !opened.ok()) {
          log::warning("{}", opened.error().description());
        }
      };
      callbacks.closed = [&main] { main.quit(); };
      window = std::make_unique<MRDesktopWindow>(server.origin(), std::move(callbacks));
      window->open(address);
      break;
    }
    case UiMode::Browser:
      openAddress();
      break;
    case UiMode::NoWindow:
      std::cout << address << std::endl;
      break;
  }

  onRequest = [&](const std::string& request) {
    if (request == "raise") {
      if (window) {
        window->present();
      } else if (mode == UiMode::Browser) {
        openAddress();
      } else {
        log::info("another start asked for the window; the pages are at {}", server.origin());
      }
    } else if (request.rfind("url ", 0) == 0) {
      if (!delegate.handleGetURLEvent(request.substr(4))) {
        log::info("no handler for the URL {}", request.substr(4));
      }
    } else {
      log::warning("an unknown request from another start was ignored");
    }
  };

  const guint interrupt = g_unix_signal_add(SIGINT, quitOnSignal, &main);
  const guint terminate = g_unix_signal_add(SIGTERM, quitOnSignal, &main);
  main.run();
  g_source_remove(interrupt);
  g_source_remove(terminate);

  onRequest = nullptr;
  window.reset();
  MRPlaylistPlayer::sharedPlaylistPlayer()->stop();
  // A page cannot hold the quit for the "Quit anyway?" question: whatever
  // it answered, changes still unsaved are a failure, said as one.
  const bool quitting = delegate.applicationShouldTerminate() == MRAppDelegate::TerminateReply::Now;
  if (!quitting || (store.isOpen() && store.hasChanges())) {
    return fail("the last changes could not be saved");
  }
  return 0;
}

}  // namespace

void addUiCommands(CLI::App& app, Action& action) {
  auto browser = std::make_shared<bool>(false);
  app.add_flag("--browser", *browser,
               "show Mirelune in your web browser instead of its own window");

  auto* ui = app.add_subcommand("ui", "Open the window, or serve its pages");
  auto noWindow = std::make_shared<bool>(false);
  auto uiBrowser = std::make_shared<bool>(false);
  auto port = std::make_shared<uint16_t>(0);
  ui->add_flag("--no-window", *noWindow,
               "serve the pages, print their address and run until interrupted");
  ui->add_flag("--browser", *uiBrowser, "show the pages in your web browser");
  ui->add_option("--port", *port, "the port on 127.0.0.1 (default: a free one)");
  ui->callback([&action, noWindow, uiBrowser, port] {
    if (*noWindow && *uiBrowser) throw CLI::ValidationError("--no-window and --browser exclude each other");
    const UiMode mode = *noWindow ? UiMode::NoWindow : *uiBrowser ? UiMode::Browser : UiMode::Window;
    action = [mode, port] { return runUi(mode, *port); };
  });

  // No command: the window (or the browser).
  app.callback([&app, &action, browser] {
    if (!app.get_subcommands().empty()) {
      if (*browser) throw CLI::ValidationError("--browser takes no command (try \"mirelune ui --browser\")");
      return;
    }
    const UiMode mode = *browser ? UiMode::Browser : UiMode::Window;
    action = [mode] { return runUi(mode, 0); };
  });
}

}  // namespace mr::cli
