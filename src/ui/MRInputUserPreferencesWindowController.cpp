#include "ui/MRInputUserPreferencesWindowController.h"

#include "base/Json.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "ui/ScriptCall.h"

namespace mr {

MRInputUserPreferencesWindowController::MRInputUserPreferencesWindowController(
    MRUiContext& context, MRSheetHost& host)
    : host_(host), context_(context) {
  bridge_ = context.hub->open(context.hub->newChannelName("preferences"), this);
  delegate_ = std::make_shared<MRServiceOperationDelegateBridge>();
  delegate_->progressBlock = [this](MRServiceOperation& operation, MRServiceOperationStatus,
                                    float progress) { operationDidProgress(operation, progress); };
  delegate_->completionBlock = [this](MRServiceOperation& operation,
                                      MRServiceOperationStatus status) {
    operationDidComplete(operation, status);
  };
}

MRInputUserPreferencesWindowController::~MRInputUserPreferencesWindowController() {
  screenWillDisappear();
}

std::string MRInputUserPreferencesWindowController::title() const {
  return localizedString("welcome.preferences.title");
}

std::string MRInputUserPreferencesWindowController::descriptionText() const {
  return localizedString("Enter at least one of your favorite artists:");
}

std::string MRInputUserPreferencesForInitialAnalyzationWindowController::descriptionText() const {
  return localizedString("Enter at least three of your favorite artists:");
}

void MRInputUserPreferencesWindowController::screenWillDisappear() {
  closed_ = true;
  // The seeding goes on without the sheet; it only stops telling us.
  if (opQueueing_) opQueueing_->setDelegate({});
}

Value MRInputUserPreferencesWindowController::state() const {
  Array names;
  for (const auto& name : artists_)
    names.emplace_back(name);
  return Value(Dictionary{
      {"description", Value(descriptionText())},
      {"artists", Value(std::move(names))},
      {"canCancel", Value(!isInitialAnalysis())},
      {"busy", Value(opQueueing_ != nullptr)},
      {"progress", progress_ ? Value(static_cast<double>(*progress_)) : Value()},
  });
}

void MRInputUserPreferencesWindowController::render() {
  bridge_->evaluate(scriptCall("app.setPreferences", state()));
}

bool MRInputUserPreferencesWindowController::checkArtists(const std::vector<std::string>&) {
  return true;
}

bool MRInputUserPreferencesForInitialAnalyzationWindowController::checkArtists(
    const std::vector<std::string>& artists) {
  if (artists.size() >= kFewestInitialArtists) return true;
  const std::string message =
      localizedString("Please enter at least three of your favorite artists.");
  host_.showAlert(errorAlert(message), [](int) {});
  return false;
}

void MRInputUserPreferencesWindowController::proceed(std::vector<std::string> artists) {
  if (opQueueing_ || closed_) return;
  artists_ = std::move(artists);
  if (!checkArtists(artists_)) {
    render();
    return;
  }
  if (!context_.mix.serviceQueue) {
    host_.showAlert(errorAlert("The service queue is not running."), [](int) {});
    return;
  }
  opQueueing_ =
      std::make_shared<MRBuildRecommendationQueueFromArtistName>(context_.mix.recommend, artists_);
  opQueueing_->setDelegate(delegate_);
  progress_ = 0.0f;
  context_.mix.serviceQueue->addOperation(opQueueing_);
  render();
}

void MRInputUserPreferencesWindowController::cancel() {
  if (isInitialAnalysis()) return;
  if (opQueueing_) {
    opQueueing_->setDelegate({});
    opQueueing_->cancel();
    opQueueing_.reset();
  }
  host_.endSheet(*this);
}

void MRInputUserPreferencesWindowController::operationDidProgress(MRServiceOperation& operation,
                                                                  float progress) {
  if (&operation != opQueueing_.get()) return;
  progress_ = progress;
  render();
}

void MRInputUserPreferencesWindowController::operationDidComplete(
    MRServiceOperation& operation, MRServiceOperationStatus status) {
  if (&operation != opQueueing_.get()) return;
  if (status != kMRServiceOperationStatusCompleted && status != kMRServiceOperationStatusFailed &&
      status != kMRServiceOperationStatusCanceled) {
    return;
  }
  auto finished = std::move(opQueueing_);
  opQueueing_.reset();
  progress_.reset();
  if (auto error = finished->lastError()) {
    render();
    host_.showAlert(errorAlert(error->description()), [](int) {});
    return;
  }
  if (status == kMRServiceOperationStatusCanceled) {
    render();
    return;
  }
  host_.endSheet(*this);
}

void MRInputUserPreferencesWindowController::onAppMessage(const std::string& name,
                                                          const AppParams& params) {
  if (name == "preferencesDidSubmit") {
    std::vector<std::string> names;
    auto found = params.find("artists");
    if (found != params.end()) {
      auto parsed = parseJson(found->second);
      const Array* list = parsed.ok() ? parsed.value().asArray() : nullptr;
      if (!list) {
        log::debug("preferences: artists that are not a JSON array: {}", found->second);
        return;
      }
      for (const auto& entry : *list) {
        if (const std::string* text = entry.asString()) names.push_back(*text);
      }
    }
    proceed(std::move(names));
  } else if (name == "preferencesDidCancel") {
    cancel();
  }
}

}  // namespace mr
