// The main window: the side menu, the navigation stack and the modal screen
// over it, the control panel, the artist search, the track detail pane, the
// alerts and the application menu's commands. It owns the "main" channel
// and, when a page connects, sends the whole window again.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/MRArtistSearchViewController.h"
#include "ui/MRControlPanelViewController.h"
#include "ui/MRInstructionWindowController.h"
#include "ui/MRScreen.h"
#include "ui/MRSheetHost.h"
#include "ui/MRTrackDetailViewController.h"
#include "ui/MRUiContext.h"

namespace mr {

// Makes the playlist screen of a mix (not yet pushed).
using PlaylistScreenFactory =
    std::function<std::shared_ptr<MRScreen>(MRScreenHost&, std::shared_ptr<MRPlaylist>)>;
// Makes the comment form of a track item, shown as a sheet.
using CommentFormFactory = std::function<std::shared_ptr<MRScreen>(
    MRScreenHost&, std::shared_ptr<MRPlaylistTrackItem>)>;

class MRMainWindowController final : public MRScreenHost,
                                     public MRSheetHost,
                                     public ScriptBridgeDelegate,
                                     public MRTrackDetailViewControllerDelegate {
 public:
  enum SideMenuItem { kHome = 0, kMyFavorites, kHistory, kMyMusicProfile, kProcessingStatus };

  // Opens "main" on context.hub and becomes the hub's connect handler; the
  // context must outlive the window.
  MRMainWindowController(MRUiContext& context, PlaylistScreenFactory factory);
  ~MRMainWindowController() override;

  // The comment forms are MRCommentFormWindowController unless replaced.
  void setCommentFormFactory(CommentFormFactory factory) { commentForms_ = std::move(factory); }

  // Shows the home page as the modal screen and sends the window.
  void showWindow();
  // The side menu, stack, modal screen, control panel, detail pane, video,
  // menu and search, sent again.
  void sendWindow();

  // Side menu.
  void sideMenuDidSelect(int index);
  void navigateMainMenu();
  void navigateFavoriteArtistList();
  void navigateHistoryMix();
  void navigateMusicProfile();
  void navigateProcessingStatus();
  void navigateCurrentPlayingPlaylistView();
  void navigateBack();
  void showModalViewController(std::shared_ptr<MRScreen> screen);
  void hideModalViewController();

  // Application menu.
  void menuCommand(const std::string& name);
  void clearHistory();

  // MRScreenHost.
  void navigateWithViewController(std::shared_ptr<MRScreen> screen, bool animated) override;
  std::shared_ptr<MRScreen> playlistScreenForPlaylist(std::shared_ptr<MRPlaylist> playlist) override;
  void showAlert(MRAlert alert, std::function<void(int button)> done) override;
  // MRSheetHost: the favorite-artist and music-library sheets.
  void endSheet(MRScreen& sheet) override;
  // Shows `sheet` over the window, in place of any other.
  void showSheet(std::shared_ptr<MRScreen> sheet);
  void openInBrowser(const std::string& url) override;
  MRTrackDetailShowing& trackDetail() override { return *detail_; }
  void showCommentForm(std::shared_ptr<MRPlaylistTrackItem> item) override;
  void showSimilarArtists(const std::string& artist) override;
  void commentFormDidEnd(MRScreen& form) override;
  MRInstructionWindowController& instructionWindow() override { return *instructions_; }

  // ScriptBridgeDelegate ("main").
  void onAppMessage(const std::string& name, const AppParams& params) override;

  // MRTrackDetailViewControllerDelegate.
  void trackDetailViewControllerDidChangeVideoViewVisibility(
      MRTrackDetailViewController& controller) override;
  void trackDetailViewControllerDidChangeVideo(MRTrackDetailViewController& controller) override;
  void trackDetailViewControllerDidChangeLoading(MRTrackDetailViewController& controller) override;

  const std::vector<std::shared_ptr<MRScreen>>& navigationStack() const { return stack_; }
  const std::shared_ptr<MRScreen>& modalViewController() const { return modal_; }
  // The comment form on the window, if one is.
  const std::shared_ptr<MRScreen>& commentFormSheet() const { return sheet_; }
  MRTrackDetailViewController& trackDetailViewController() { return *detail_; }
  MRControlPanelViewController& controlPanel() { return *controlPanel_; }
  MRArtistSearchViewController& searchResultViewController() { return *search_; }
  // The playlist a screen made here shows, if it is one.
  std::shared_ptr<MRPlaylist> playlistOfScreen(const MRScreen* screen) const;

 private:
  void send(const std::string& script);
  void sendSideMenu();
  void sendStack();
  void sendModal();
  void sendMenu();
  void sendDetail();
  void sendDetailLoading();
  void sendVideo();
  void alertDidEnd(int id, int button);
  void dropSheet();
  void openConnectionPage(const std::string& bridge, const Dictionary& parameters);

  MRUiContext& context_;
  PlaylistScreenFactory playlistScreens_;
  CommentFormFactory commentForms_;
  std::unique_ptr<ScriptBridge> bridge_;
  std::unique_ptr<MRTrackDetailViewController> detail_;
  std::unique_ptr<MRInstructionWindowController> instructions_;
  std::unique_ptr<MRControlPanelViewController> controlPanel_;
  std::unique_ptr<MRArtistSearchViewController> search_;

  std::vector<std::shared_ptr<MRScreen>> stack_;
  std::shared_ptr<MRScreen> modal_;
  std::shared_ptr<MRScreen> sheet_;
  std::optional<int> selectedSideMenu_;
  std::map<const MRScreen*, std::weak_ptr<MRPlaylist>> screenPlaylists_;
  std::map<int, std::function<void(int)>> alerts_;
  int nextAlertId_ = 1;
};

}  // namespace mr
