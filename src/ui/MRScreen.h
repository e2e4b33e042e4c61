// A screen of the main window: a page on its own channel, pushed on the
// navigation stack or shown as the modal screen. What a screen may ask of
// the window it is in is MRScreenHost.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/MRPlaylist.h"
#include "model/MRPlaylistTrackItem.h"
#include "ui/ScriptBridge.h"

namespace mr {

class MRScreen : public ScriptBridgeDelegate {
 public:
  // What the shell draws for it: "home", "playlist", "processingStatus",
  // "favoriteArtists", "similarArtists", "profile".
  virtual std::string kind() const = 0;
  virtual std::string title() const = 0;
  // Where the page of a framed screen lives under web/ (the home page);
  // empty for screens the shell draws itself.
  virtual std::string pagePath() const { return {}; }
  const std::string& channel() const { return bridge_->channel(); }
  // Called when the screen leaves the window (popped or replaced).
  virtual void screenWillDisappear() {}

 protected:
  std::unique_ptr<ScriptBridge> bridge_;
};

// An alert or action sheet. `done` gets the index of the button pressed
// (-1 when dismissed without one); never called when the window goes.
struct MRAlert {
  std::string title;
  std::string message;
  std::vector<std::string> buttons;
  // Index of the cancel button and of the destructive one, if any.
  int cancelButton = -1;
  int destructiveButton = -1;
  bool actionSheet = false;
};

// The track detail screen as the other screens drive it.
class MRTrackDetailShowing {
 public:
  virtual ~MRTrackDetailShowing() = default;
  virtual void retrieveArtistInfoForTrackItem(std::shared_ptr<MRPlaylistTrackItem> item) = 0;
  virtual void setAutoloadOnPlay(bool autoload) = 0;
};

class MRInstructionWindowController;

class MRScreenHost {
 public:
  virtual ~MRScreenHost() = default;
  // Pushes `screen` on the navigation stack.
  virtual void navigateWithViewController(std::shared_ptr<MRScreen> screen, bool animated) = 0;
  // The playlist screen for `playlist`, not yet pushed.
  virtual std::shared_ptr<MRScreen> playlistScreenForPlaylist(
      std::shared_ptr<MRPlaylist> playlist) = 0;
  virtual void showAlert(MRAlert alert, std::function<void(int button)> done) = 0;
  virtual void openInBrowser(const std::string& url) = 0;
  virtual MRTrackDetailShowing& trackDetail() = 0;
  // The comment form for `item`, as a sheet on the window.
  virtual void showCommentForm(std::shared_ptr<MRPlaylistTrackItem> item) = 0;
  // The similar-artist screen with `artist` as its subject, pushed.
  virtual void showSimilarArtists(const std::string& artist) = 0;
  // The comment form shown by showCommentForm() was submitted or cancelled
  // (its page has closed the sheet): the host lets it go. Called from the
  // form's own handler, so the form must outlive the call.
  virtual void commentFormDidEnd(MRScreen& /*form*/) {}
  // The first-run tips over the window.
  virtual MRInstructionWindowController& instructionWindow() = 0;
};

// "Error" / the description / "OK", in the listener's language.
MRAlert errorAlert(const std::string& description);

}  // namespace mr
