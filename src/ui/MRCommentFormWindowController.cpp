#include "ui/MRCommentFormWindowController.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "base/MRUserDefaults.h"
#include "social/MRSubmitCommentForTrackOperation.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {

std::optional<ovloConnectionItem> firstOf(const ovloConnectionList& list, const char* service) {
  auto items = list.itemsOfService(service);
  if (items.empty()) return std::nullopt;
  return items.front();
}

}  // namespace

MRCommentFormWindowController::MRCommentFormWindowController(
    MRUiContext& context, MRScreenHost& host, std::shared_ptr<MRPlaylistTrackItem> trackItem)
    : context_(context), host_(host), trackItem_(std::move(trackItem)) {
  bridge_ = context.hub->open(context.hub->newChannelName("commentForm"), this);
}

std::shared_ptr<MRCommentFormWindowController>
MRCommentFormWindowController::commentFormWindowControllerForTrackItem(
    MRUiContext& context, MRScreenHost& host, std::shared_ptr<MRPlaylistTrackItem> trackItem) {
  if (!trackItem) return nullptr;
  std::shared_ptr<MRCommentFormWindowController> form(
      new MRCommentFormWindowController(context, host, std::move(trackItem)));
  // The session's list when there is one, else the one kept in the settings.
  const auto lookUp = [&form](const ovloConnectionList& list) {
    form->facebook_ = firstOf(list, "facebook");
    form->twitter_ = firstOf(list, "twitter");
  };
  if (context.connections) {
    lookUp(context.connections->list());
  } else {
    lookUp(ovloConnectionList(context.environment().settings()));
  }
  return form;
}

std::string MRCommentFormWindowController::title() const {
  return localizedString("leaveAComment");
}

void MRCommentFormWindowController::render() {
  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  const auto box = [](bool connected, bool setting) {
    return Value(Dictionary{{"enabled", Value(connected)}, {"checked", Value(connected && setting)}});
  };
  bridge_->evaluate(scriptCall(
      "app.setCommentForm",
      Value(Dictionary{
          {"title", Value(trackItem_->title)},
          {"artist", Value(trackItem_->artist)},
          {"artwork", trackItem_->imageUrl.empty() ? Value() : Value(trackItem_->imageUrl)},
          {"facebook", box(facebook_.has_value(), defaults.shareOnFacebook())},
          {"twitter", box(twitter_.has_value(), defaults.shareOnTwitter())},
          {"texts", Value(Dictionary{{"input", Value(localizedString("inputComment"))},
                                     {"submit", Value(localizedString("submit"))},
                                     {"cancel", Value(localizedString("cancel"))}})},
      })));
}

void MRCommentFormWindowController::submit(const std::string& text, bool facebookChecked,
                                           bool twitterChecked) {
  if (ended_) return;
  // A box the page could not have enabled counts as not ticked.
  facebookChecked = facebookChecked && facebook_;
  twitterChecked = twitterChecked && twitter_;
  std::vector<int64_t> shareOn;
  if (facebookChecked) shareOn.push_back(facebook_->cid);
  if (twitterChecked) shareOn.push_back(twitter_->cid);
  submitted_ = std::make_shared<MRSubmitCommentForTrackOperation>(
      context_.mix.recommend, context_.mix.mirelune, *trackItem_, commentFormText(text),
      std::move(shareOn));
  if (context_.mix.serviceQueue) submitted_->submit(*context_.mix.serviceQueue);

  const Env& env = context_.environment();
  MRUserDefaults defaults(env.settings(), env.paths().home);
  Status written;
  if (facebook_) written = defaults.setShareOnFacebook(facebookChecked);
  if (twitter_ && written.ok()) written = defaults.setShareOnTwitter(twitterChecked);
  if (!written.ok()) log::warning("comment form: the sharing setting was not kept: {}",
                                  written.error().description());
  end();
}

void MRCommentFormWindowController::cancel() {
  if (ended_) return;
  end();
}

void MRCommentFormWindowController::end() {
  ended_ = true;
  host_.commentFormDidEnd(*this);
}

void MRCommentFormWindowController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name == "commentDidSubmit") {
    submit(appParamText(params, "text"), appParamInt(params, "facebook") != 0,
           appParamInt(params, "twitter") != 0);
  } else if (name == "commentDidCancel") {
    cancel();
  }
}

}  // namespace mr
