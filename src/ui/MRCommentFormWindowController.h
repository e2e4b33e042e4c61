// The comment form, shown as a sheet on the window: the track's artist,
// title and artwork, a comment field and a box per sharing connection.
// Submitting sends the trimmed comment with the ticked connections' ids and
// remembers each connection's box in its sharing setting; cancelling sends
// nothing. Either way the sheet closes (the page closes its side itself).
//
// Channel "commentForm-N": app.setCommentForm({"title", "artist",
// "artwork", "facebook": {"enabled", "checked"}, "twitter": {...},
// "texts": {"input", "submit", "cancel"}}) on the page's load. The page
// loads the artwork from its address itself (a plain GET).
// Page -> program: commentDidSubmit (text, facebook 0/1, twitter 0/1),
// commentDidCancel.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "model/MRPlaylistTrackItem.h"
#include "service/ovloConnectionList.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRSubmitCommentForTrackOperation;

class MRCommentFormWindowController final : public MRScreen {
 public:
  // Looks the connections up now (the first of each service).
  static std::shared_ptr<MRCommentFormWindowController> commentFormWindowControllerForTrackItem(
      MRUiContext& context, MRScreenHost& host, std::shared_ptr<MRPlaylistTrackItem> trackItem);

  std::string kind() const override { return "commentForm"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;

  // What the listener's buttons do; both end the form (once).
  void submit(const std::string& text, bool facebookChecked, bool twitterChecked);
  void cancel();

  const std::shared_ptr<MRPlaylistTrackItem>& trackItem() const { return trackItem_; }
  const std::optional<ovloConnectionItem>& connectionFacebook() const { return facebook_; }
  const std::optional<ovloConnectionItem>& connectionTwitter() const { return twitter_; }
  // The operation the submit made, if any.
  const std::shared_ptr<MRSubmitCommentForTrackOperation>& submittedOperation() const {
    return submitted_;
  }
  bool hasEnded() const { return ended_; }

 private:
  MRCommentFormWindowController(MRUiContext& context, MRScreenHost& host,
                                std::shared_ptr<MRPlaylistTrackItem> trackItem);
  void render();
  void end();

  MRUiContext& context_;
  MRScreenHost& host_;
  const std::shared_ptr<MRPlaylistTrackItem> trackItem_;
  std::optional<ovloConnectionItem> facebook_;
  std::optional<ovloConnectionItem> twitter_;
  std::shared_ptr<MRSubmitCommentForTrackOperation> submitted_;
  bool ended_ = false;
};

}  // namespace mr
