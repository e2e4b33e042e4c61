#include "ui/MRMainWindowController.h"

#include <cstdlib>

#include "base/Localization.h"
#include "base/Log.h"
#include "base/MRUserDefaults.h"
#include "playback/MRHistoryMix.h"
#include "service/ovloConnectionList.h"
#include "store/CDFavoriteTrack.h"
#include "ui/MRChangeMusicLibraryWindowController.h"
#include "ui/MRCommentFormWindowController.h"
#include "ui/MRFavoriteArtistListViewController.h"
#include "ui/MRInputUserPreferencesWindowController.h"
#include "ui/MRMainMenuViewController.h"
#include "ui/MRMusicProfileViewController.h"
#include "ui/MRPlaylistShowing.h"
#include "ui/MRProcessingStatusViewController.h"
#include "ui/MRSimilarArtistViewController.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {

constexpr const char* kChannel = "main";
constexpr const char* kSideMenuKeys[] = {"Home", "MyFavorites", "History", "MyMusicProfile",
                                         "ProcessingStatus"};

Value screenEntry(const MRScreen& screen, bool withSource) {
  Dictionary entry{{"channel", Value(screen.channel())},
                   {"kind", Value(screen.kind())},
                   {"title", Value(screen.title())}};
  if (withSource) entry.set("src", Value(screen.pagePath()));
  return Value(std::move(entry));
}

}  // namespace

MRMainWindowController::MRMainWindowController(MRUiContext& context,
                                               PlaylistScreenFactory factory)
    : context_(context), playlistScreens_(std::move(factory)) {
  commentForms_ = [&context](MRScreenHost& host, std::shared_ptr<MRPlaylistTrackItem> item) {
    return MRCommentFormWindowController::commentFormWindowControllerForTrackItem(
        context, host, std::move(item));
  };
  bridge_ = context.hub->open(kChannel, this);
  context.hub->setConnectHandler([this] { sendWindow(); });
  detail_ = std::make_unique<MRTrackDetailViewController>(context, *this);
  instructions_ = std::make_unique<MRInstructionWindowController>(
      context.environment().settings(), [this](const std::string& kind) {
        send(scriptCall("app.showInstruction", Value(Dictionary{{"kind", Value(kind)}})));
      });
  MRControlPanelViewController::Actions actions;
  actions.currentTrack = [this] { navigateCurrentPlayingPlaylistView(); };
  actions.toggleVideo = [this] {
    if (detail_->videoPlayerViewVisible()) {
      detail_->hideVideoView();
    } else {
      detail_->showVideoView();
    }
  };
  actions.videoVisible = [this] { return detail_->videoPlayerViewVisible(); };
  controlPanel_ = std::make_unique<MRControlPanelViewController>(
      context, [this](const std::string& script) { send(script); }, std::move(actions));
  search_ = std::make_unique<MRArtistSearchViewController>(
      context, *this, [this](const std::string& script) { send(script); });
}

MRMainWindowController::~MRMainWindowController() {
  context_.hub->setConnectHandler(nullptr);
  // The screens go before the parts they were told about.
  if (modal_) modal_->screenWillDisappear();
  for (auto& screen : stack_)
    screen->screenWillDisappear();
  sheet_.reset();
  modal_.reset();
  stack_.clear();
}

void MRMainWindowController::send(const std::string& script) { bridge_->evaluate(script); }

void MRMainWindowController::showWindow() {
  navigateMainMenu();
  sendWindow();
}

void MRMainWindowController::sendWindow() {
  sendSideMenu();
  sendStack();
  sendModal();
  controlPanel_->render();
  sendDetail();
  sendVideo();
  sendMenu();
  search_->render();
  if (sheet_) send(scriptCall("app.showSheet", screenEntry(*sheet_, false)));
}

void MRMainWindowController::sendSideMenu() {
  Array items;
  for (int i = 0; i < static_cast<int>(std::size(kSideMenuKeys)); ++i) {
    items.emplace_back(Dictionary{{"index", Value(i)},
                                  {"key", Value(kSideMenuKeys[i])},
                                  {"title", Value(localizedString(kSideMenuKeys[i]))}});
  }
  send("app.setSideMenu(" + toJson(Value(std::move(items))) + "," +
       toJson(selectedSideMenu_ ? Value(*selectedSideMenu_) : Value()) + ")");
}

void MRMainWindowController::sendStack() {
  Array screens;
  for (const auto& screen : stack_)
    screens.push_back(screenEntry(*screen, false));
  send(scriptCall("app.setStack", Value(std::move(screens))));
}

void MRMainWindowController::sendModal() {
  send(scriptCall("app.setModal", modal_ ? screenEntry(*modal_, true) : Value()));
}

void MRMainWindowController::sendDetail() {
  send(scriptCall("app.setDetail",
                  Value(Dictionary{{"src", Value(MRTrackDetailViewController::kPagePath)},
                                   {"channel", Value(MRTrackDetailViewController::kChannel)}})));
  sendDetailLoading();
}

void MRMainWindowController::sendDetailLoading() {
  send(scriptCall("app.setDetailLoading", Value(detail_->isRetrievingArtistInfo())));
}

void MRMainWindowController::trackDetailViewControllerDidChangeLoading(
    MRTrackDetailViewController&) {
  sendDetailLoading();
}

void MRMainWindowController::sendVideo() {
  send(scriptCall("app.setVideo", detail_->videoState()));
}

void MRMainWindowController::sendMenu() {
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  ovloConnectionList connections(env.settings());
  send(scriptCall(
      "app.setMenu",
      Value(Dictionary{
          {"shareOnFacebook", Value(defaults.shareOnFacebook())},
          {"shareOnTwitter", Value(defaults.shareOnTwitter())},
          {"autoSharingOnFavorite", Value(defaults.autoSharingOnFavorite())},
          {"facebookConnected", Value(!connections.itemsOfService("facebook").empty())},
          {"twitterConnected", Value(!connections.itemsOfService("twitter").empty())},
      })));
}

// ---- Navigation

void MRMainWindowController::sideMenuDidSelect(int index) {
  if (index < kHome || index > kProcessingStatus) return;
  selectedSideMenu_ = index;
  sendSideMenu();
  switch (index) {
    case kHome:
      navigateMainMenu();
      break;
    case kMyFavorites:
      navigateFavoriteArtistList();
      break;
    case kHistory:
      navigateHistoryMix();
      break;
    case kMyMusicProfile:
      navigateMusicProfile();
      break;
    case kProcessingStatus:
      navigateProcessingStatus();
      break;
    default:
      break;
  }
}

void MRMainWindowController::navigateMainMenu() {
  if (modal_ && modal_->kind() == "home") return;
  showModalViewController(MRMainMenuViewController::create(context_, *this));
}

void MRMainWindowController::navigateFavoriteArtistList() {
  navigateWithViewController(MRFavoriteArtistListViewController::create(context_, *this), true);
}

void MRMainWindowController::navigateHistoryMix() {
  auto mix = std::make_shared<MRHistoryMix>(context_.mix);
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  navigateWithViewController(playlistScreenForPlaylist(mix), true);
}

void MRMainWindowController::navigateMusicProfile() {
  if (modal_ && modal_->kind() == "profile") return;
  showModalViewController(MRMusicProfileViewController::create(context_, *this));
}

void MRMainWindowController::navigateProcessingStatus() {
  navigateWithViewController(MRProcessingStatusViewController::create(context_), true);
}

void MRMainWindowController::navigateCurrentPlayingPlaylistView() {
  auto player = context_.player;
  if (!player) return;
  auto playlist = player->playlist();
  const std::shared_ptr<MRScreen> top = stack_.empty() ? nullptr : stack_.back();
  if (top && !modal_ && playlist && playlistOfScreen(top.get()) == playlist) {
    if (auto showing = dynamic_cast<MRPlaylistShowing*>(top.get())) showing->scrollToPlayingRow();
  } else {
    hideModalViewController();
    if (playlist) navigateWithViewController(playlistScreenForPlaylist(playlist), true);
  }
  if (auto track = player->currentTrackPlayer()) {
    detail_->retrieveArtistInfoForTrackItem(track->trackItem());
  }
  detail_->setAutoloadOnPlay(true);
}

void MRMainWindowController::navigateWithViewController(std::shared_ptr<MRScreen> screen, bool) {
  if (!screen) return;
  // A pushed screen shows: the modal screen over the stack goes.
  if (modal_) {
    modal_->screenWillDisappear();
    modal_.reset();
    sendModal();
  }
  stack_.push_back(std::move(screen));
  sendStack();
}

void MRMainWindowController::navigateBack() {
  if (stack_.empty()) return;
  auto top = stack_.back();
  stack_.pop_back();
  top->screenWillDisappear();
  screenPlaylists_.erase(top.get());
  sendStack();
}

void MRMainWindowController::showModalViewController(std::shared_ptr<MRScreen> screen) {
  if (modal_) modal_->screenWillDisappear();
  modal_ = std::move(screen);
  sendModal();
}

void MRMainWindowController::hideModalViewController() {
  if (!modal_) return;
  modal_->screenWillDisappear();
  modal_.reset();
  sendModal();
}

std::shared_ptr<MRScreen> MRMainWindowController::playlistScreenForPlaylist(
    std::shared_ptr<MRPlaylist> playlist) {
  if (!playlistScreens_ || !playlist) return nullptr;
  auto screen = playlistScreens_(*this, playlist);
  if (screen) {
    // Entries of screens gone are dropped as new ones come.
    for (auto it = screenPlaylists_.begin(); it != screenPlaylists_.end();) {
      it = it->second.expired() ? screenPlaylists_.erase(it) : std::next(it);
    }
    screenPlaylists_[screen.get()] = playlist;
  }
  return screen;
}

std::shared_ptr<MRPlaylist> MRMainWindowController::playlistOfScreen(const MRScreen* screen) const {
  auto found = screenPlaylists_.find(screen);
  return found == screenPlaylists_.end() ? nullptr : found->second.lock();
}

void MRMainWindowController::showCommentForm(std::shared_ptr<MRPlaylistTrackItem> item) {
  if (!commentForms_ || !item) return;
  auto form = commentForms_(*this, std::move(item));
  showSheet(std::move(form));
}

void MRMainWindowController::showSheet(std::shared_ptr<MRScreen> sheet) {
  if (!sheet) return;
  if (sheet_) sheet_->screenWillDisappear();
  sheet_ = std::move(sheet);
  send(scriptCall("app.showSheet", screenEntry(*sheet_, false)));
}

void MRMainWindowController::endSheet(MRScreen& sheet) {
  if (sheet_.get() != &sheet) return;
  dropSheet();
}

void MRMainWindowController::showSimilarArtists(const std::string& artist) {
  navigateWithViewController(MRSimilarArtistViewController::create(context_, *this, artist), true);
}

void MRMainWindowController::commentFormDidEnd(MRScreen& form) {
  if (sheet_.get() != &form) return;
  dropSheet();
}

void MRMainWindowController::dropSheet() {
  if (!sheet_) return;
  sheet_->screenWillDisappear();
  // The form may be the one calling: it goes once its call has returned.
  context_.environment().main().post([gone = std::move(sheet_)] {});
  sheet_.reset();
  send("app.closeSheet()");
}

// ---- Alerts and the browser

void MRMainWindowController::showAlert(MRAlert alert, std::function<void(int button)> done) {
  const int id = nextAlertId_++;
  alerts_[id] = std::move(done);
  Array buttons;
  for (const auto& button : alert.buttons)
    buttons.emplace_back(button);
  send(scriptCall("app.showAlert",
                  Value(Dictionary{{"id", Value(id)},
                                   {"title", Value(alert.title)},
                                   {"message", Value(alert.message)},
                                   {"buttons", Value(std::move(buttons))},
                                   {"cancel", alert.cancelButton >= 0 ? Value(alert.cancelButton) : Value()},
                                   {"destructive", alert.destructiveButton >= 0
                                                       ? Value(alert.destructiveButton)
                                                       : Value()},
                                   {"sheet", Value(alert.actionSheet)}})));
}

void MRMainWindowController::alertDidEnd(int id, int button) {
  auto found = alerts_.find(id);
  if (found == alerts_.end()) return;
  auto done = std::move(found->second);
  alerts_.erase(found);
  send("app.closeAlert(" + std::to_string(id) + ")");
  if (done) done(button);
}

void MRMainWindowController::openInBrowser(const std::string& url) {
  if (context_.openInBrowser) context_.openInBrowser(url);
}

// ---- The application menu

void MRMainWindowController::clearHistory() {
  CDPlayHistoryTrackEntityController history(context_.store.get());
  history.deleteAllObjects();
  if (Status saved = history.save(); !saved.ok()) {
    showAlert(errorAlert(saved.error().description()), [](int) {});
    return;
  }
  MRAlert alert;
  alert.message = localizedString("MRSettingsViewContentMixClearHistoryDidComplete");
  alert.buttons = {localizedString("OK")};
  alert.cancelButton = 0;
  showAlert(std::move(alert), [](int) {});
}

void MRMainWindowController::openConnectionPage(const std::string& bridge,
                                                const Dictionary& parameters) {
  if (!context_.connections) return;
  auto url = context_.connections->URLForAddingConnectionWithConsumerId(
      context_.config().consumerId, bridge, context_.connections->oauthCompletionUrl(), parameters);
  if (url) openInBrowser(*url);
}

void MRMainWindowController::menuCommand(const std::string& name) {
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  Status written;
  if (name == "clearHistory") {
    clearHistory();
  } else if (name == "shareOnFacebook") {
    written = defaults.setShareOnFacebook(!defaults.shareOnFacebook());
    sendMenu();
  } else if (name == "shareOnTwitter") {
    written = defaults.setShareOnTwitter(!defaults.shareOnTwitter());
    sendMenu();
  } else if (name == "autoSharingOnFavorite") {
    written = defaults.setAutoSharingOnFavorite(!defaults.autoSharingOnFavorite());
    sendMenu();
  } else if (name == "configureFacebook") {
    openConnectionPage("facebook", Dictionary{{"appid", Value(context_.config().facebookAppId)}});
  } else if (name == "configureTwitter") {
    openConnectionPage("twitter", Dictionary{});
  } else if (name == "disconnectFacebook" || name == "disconnectTwitter") {
    if (context_.disconnectService) {
      context_.disconnectService(name == "disconnectFacebook" ? "facebook" : "twitter");
    }
    sendMenu();
  } else if (name == "manageAccount") {
    if (context_.auth) openInBrowser(context_.auth->autoLogInURLForPageId("account/manage", {}));
  } else if (name == "logout") {
    MRAlert alert;
    alert.title = localizedString("notice");
    alert.message = localizedString("MRSettingsViewContentConfirmLoggingOut");
    alert.buttons = {localizedString("No"), localizedString("Yes")};
    alert.cancelButton = 0;
    showAlert(std::move(alert), [this](int button) {
      if (button == 1 && context_.logout) context_.logout();
    });
  } else if (name == "inputPreferences") {
    showSheet(std::make_shared<MRInputUserPreferencesWindowController>(context_, *this));
  } else if (name == "changeMusicLibrary") {
    showSheet(std::make_shared<MRChangeMusicLibraryWindowController>(context_, *this));
  } else if (name == "showInstructions") {
    written = MRInstructionSwitch(env.settings()).resetAllSwitches();
  } else {
    log::debug("window: the menu command {} is not handled here", name);
  }
  if (!written.ok()) showAlert(errorAlert(written.error().description()), [](int) {});
}

// ---- The page's requests

void MRMainWindowController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name == "sideMenuDidSelect") {
    sideMenuDidSelect(appParamInt(params, "index"));
  } else if (name == "navigateBack") {
    navigateBack();
  } else if (name == "controlPanel") {
    controlPanel_->performAction(appParamText(params, "action"), params);
  } else if (name == "keyDown") {
    (void)controlPanel_->keyDown(appParamInt(params, "code"));
  } else if (name == "keyUp") {
    (void)controlPanel_->keyUp(appParamInt(params, "code"));
  } else if (name == "searchTextDidChange") {
    search_->searchTextDidChange(appParamText(params, "text"));
  } else if (name == "searchKey") {
    search_->searchKey(appParamText(params, "key"));
  } else if (name == "searchDidChoose") {
    search_->chooseRow(appParamInt(params, "index"));
  } else if (name == "alertDidEnd") {
    const bool dismissed = params.find("button") == params.end();
    alertDidEnd(appParamInt(params, "id"), dismissed ? -1 : appParamInt(params, "button"));
  } else if (name == "menuCommand") {
    menuCommand(appParamText(params, "name"));
  } else if (name == "sheetDidEnd") {
    dropSheet();
  }
}

void MRMainWindowController::trackDetailViewControllerDidChangeVideoViewVisibility(
    MRTrackDetailViewController&) {
  // The image button shows the video symbol exactly while the video is hidden.
  controlPanel_->render();
}

void MRMainWindowController::trackDetailViewControllerDidChangeVideo(MRTrackDetailViewController&) {
  sendVideo();
}

}  // namespace mr
