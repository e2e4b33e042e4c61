#include "ui/MRProcessingStatusViewController.h"

#include "base/Localization.h"
#include "base/MRPlaylistBuildOperation.h"
#include "ui/ScriptCall.h"

namespace mr {

MRProcessingStatusViewController::MRProcessingStatusViewController(MRUiContext& context)
    : context_(context) {
  bridge_ = context.hub->open(context.hub->newChannelName("processingStatus"), this);
  timer_ = context.environment().main().repeat(seconds(kRefreshInterval), [this] { render(); });
}

MRProcessingStatusViewController::~MRProcessingStatusViewController() { screenWillDisappear(); }

std::string MRProcessingStatusViewController::title() const {
  return localizedString("ProcessingStatus");
}

void MRProcessingStatusViewController::screenWillDisappear() {
  if (timer_) context_.environment().main().cancel(*timer_);
  timer_.reset();
}

Value MRProcessingStatusViewController::operationList() const {
  Array list;
  if (!context_.mix.serviceQueue) return Value(list);
  for (const auto& operation : context_.mix.serviceQueue->operations()) {
    auto job = std::dynamic_pointer_cast<MRServiceOperation>(operation);
    if (!job) continue;
    std::string status = localizedString(job->statusTextKey());
    if (auto build = std::dynamic_pointer_cast<MRPlaylistBuildOperation>(job)) {
      const std::string title = build->locatingTrackTitle();
      if (!title.empty()) status += " " + title + " - " + build->locatingTrackArtist();
    }
    list.emplace_back(Dictionary{{"title", Value(localizedString(job->className()))},
                                 {"subtitle", Value(status)},
                                 {"progress", Value(job->progress())}});
  }
  return Value(list);
}

void MRProcessingStatusViewController::render() {
  bridge_->evaluate(scriptCall(
      "app.setList", Value(Dictionary{{"title", Value(title())}, {"items", operationList()}})));
}

}  // namespace mr
