#include "ui/MRDesktopPresenter.h"

#include "base/Json.h"
#include "base/Log.h"
#include "ui/MRMainWindowController.h"
#include "ui/MRPlaylistViewController.h"
#include "ui/MRWelcomeWindowController.h"

namespace mr {

MRDesktopPresenter::MRDesktopPresenter(BridgeHub& hub, ContextMaker makeContext)
    : hub_(hub), makeContext_(std::move(makeContext)) {
  hub_.setConnectHandler([this] { pageConnected(); });
}

MRDesktopPresenter::~MRDesktopPresenter() {
  hub_.setConnectHandler(nullptr);
  welcome_.reset();
  main_.reset();
}

bool MRDesktopPresenter::ensureContext() {
  if (contextReady_) return true;
  context_.hub = &hub_;
  contextReady_ = makeContext_ && makeContext_(context_);
  return contextReady_;
}

void MRDesktopPresenter::pageConnected() {
  // Only one window draws; the other's page state is covered.
  if (welcome_) {
    welcome_->sendWindow();
  } else if (main_) {
    main_->sendWindow();
  } else {
    for (const auto& script : standInScripts_) {
      if (standIn_) standIn_->evaluate(script);
    }
  }
}

void MRDesktopPresenter::showMainWindow() {
  if (!ensureContext()) return;
  if (!main_) {
    standIn_.reset();
    standInScripts_.clear();
    MRUiContext& context = context_;
    main_ = std::make_unique<MRMainWindowController>(
        context, [&context](MRScreenHost& host, std::shared_ptr<MRPlaylist> playlist) {
          return std::make_shared<MRPlaylistViewController>(context, host, std::move(playlist));
        });
    // The window takes the hub's connect handler; the presenter keeps it.
    hub_.setConnectHandler([this] { pageConnected(); });
    main_->showWindow();
  } else {
    main_->sendWindow();
  }
}

void MRDesktopPresenter::closeMainWindow() {
  if (context_.player) context_.player->stop();
  // Log-out runs inside the window's own alert handler: it goes on the next
  // turn of the main loop.
  auto closing = std::shared_ptr<MRMainWindowController>(main_.release());
  if (closing && context_.env) context_.env->main().post([closing] {});
}

void MRDesktopPresenter::showWelcomeWindow() {
  if (!ensureContext()) return;
  if (!welcome_) {
    standIn_.reset();
    standInScripts_.clear();
    welcome_ = std::make_unique<MRWelcomeWindowController>(context_, [this] {
      if (getStarted_) getStarted_();
    });
    hub_.setConnectHandler([this] { pageConnected(); });
  }
  welcome_->showWindow();
}

void MRDesktopPresenter::closeWelcomeWindow() {
  if (!welcome_) return;
  welcome_->closeWindow();
  // Not destroyed inside its own get-started handler.
  auto closing = std::shared_ptr<MRWelcomeWindowController>(welcome_.release());
  if (context_.env) context_.env->main().post([closing] {});
}

bool MRDesktopPresenter::presentError(const Error& error) {
  runAlert("Error", error.description(), {"OK"});
  return false;
}

int MRDesktopPresenter::runAlert(const std::string& title, const std::string& message,
                                 const std::vector<std::string>& buttons) {
  log::warning("{}: {}", title, message);
  if (main_) {
    MRAlert alert;
    alert.title = title;
    alert.message = message;
    alert.buttons = buttons;
    alert.cancelButton = buttons.empty() ? -1 : 0;
    main_->showAlert(std::move(alert), [](int) {});
  } else {
    showStandInAlert(title, message, buttons);
  }
  return 0;
}

void MRDesktopPresenter::showStandInAlert(const std::string& title, const std::string& message,
                                          const std::vector<std::string>& buttons) {
  if (!standIn_) standIn_ = hub_.open("main", this);
  Array labels;
  for (const auto& button : buttons)
    labels.emplace_back(button);
  Dictionary alert{{"id", Value(nextAlert_++)},
                   {"title", Value(title)},
                   {"message", Value(message)},
                   {"buttons", Value(std::move(labels))},
                   {"cancel", Value(0)},
                   {"destructive", Value()},
                   {"sheet", Value(false)}};
  const std::string script = "app.showAlert(" + toJson(Value(std::move(alert))) + ")";
  standInScripts_.push_back(script);
  standIn_->evaluate(script);
}

void MRDesktopPresenter::onAppMessage(const std::string& name, const AppParams& params) {
  // The stand-in only shows alerts; each is closed by the page itself.
  if (name == "alertDidEnd" && standIn_) {
    standIn_->evaluate("app.closeAlert(" + std::to_string(appParamInt(params, "id")) + ")");
  }
}

void MRDesktopPresenter::refreshMenu() {
  if (main_) main_->sendWindow();
}

void MRDesktopPresenter::refreshConnectionsMenu() {
  if (main_) main_->sendWindow();
}

void MRDesktopPresenter::openInBrowser(const std::string& url) {
  if (context_.openInBrowser) context_.openInBrowser(url);
}

}  // namespace mr
