#include "playback/MRResolvingMix.h"

#include <algorithm>

#include "external/MRLocatePreviewDataOperation.h"

namespace mr {

namespace {

std::shared_ptr<MRResolvingMix> lockMix(const std::weak_ptr<Operation>& weak) {
  return std::static_pointer_cast<MRResolvingMix>(weak.lock());
}

}  // namespace

MRResolvingMix::MRResolvingMix(MRMixParts parts)
    : MRPlaylistBuildOperation(*parts.recommend.env), parts_(std::move(parts)) {}

size_t MRResolvingMix::pendingResolvers() const {
  return arrOperations_.with([](const auto& list) { return list.size(); });
}

void MRResolvingMix::cancel() {
  MRPlaylistBuildOperation::cancel();
  for (const auto& resolver : arrOperations_.get())
    resolver->cancel();
}

void MRResolvingMix::updateProgressMax() {
  progressMax_ = pendingResolvers();
}

void MRResolvingMix::updateProgress() {
  const size_t most = std::max<size_t>(progressMax_.load(), 1);
  const size_t pending = std::min(pendingResolvers(), most);
  setProgress(static_cast<float>(most - pending) / static_cast<float>(most));
}

void MRResolvingMix::placeOnMainThread(Placement place) {
  ++placementsPosted_;
  std::weak_ptr<Operation> weakMix = weak_from_this();
  parts_.env().main().post([weakMix, place = std::move(place)] {
    auto mix = lockMix(weakMix);
    if (!mix) return;
    if (!mix->isCancelled()) place(*mix);
    --mix->placementsPosted_;
    mix->wake();
  });
}

void MRResolvingMix::enqueueResolver(const std::shared_ptr<MRPlaylistTrackItem>& item,
                                     Placement place) {
  auto resolver = std::make_shared<MRLocatePreviewDataOperation>(
      parts_.env(), parts_.recommend.sites, item->previewDataSourceSet);
  std::weak_ptr<Operation> weakMix = weak_from_this();
  resolver->setBeginningBlock([weakMix, item](MRLocatePreviewDataOperation&) {
    auto mix = lockMix(weakMix);
    if (!mix) return;
    mix->setLocatingTrackArtist(item->artist);
    mix->setLocatingTrackTitle(item->title);
    mix->invokeProgressCallback();
  });
  // The completion block also runs for a resolver dropped before it
  // started, so every resolver leaves the list.
  std::weak_ptr<MRLocatePreviewDataOperation> weakResolver = resolver;
  const Operation* key = resolver.get();
  Dispatcher& main = parts_.env().main();
  resolver->setCompletionBlock([weakMix, weakResolver, key, item, place = std::move(place), &main] {
    auto resolved = std::make_shared<std::vector<MRPreviewDataSource>>();
    if (auto done = weakResolver.lock(); done && !done->isCancelled())
      *resolved = done->subjectPreviewDataSourceSet();
    main.post([weakMix, key, item, resolved, place] {
      auto mix = lockMix(weakMix);
      if (!mix) return;
      mix->arrOperations_.with([key](auto& list) {
        std::erase_if(list, [key](const auto& op) { return op.get() == key; });
      });
      if (!mix->isCancelled() && !resolved->empty()) {
        item->previewDataSourceSet = std::move(*resolved);
        if (item->numberOfAvailablePreviewData() > 0) place(*mix);
      }
      mix->updateProgress();
      mix->wake();
    });
  });
  arrOperations_.with([&resolver](auto& list) { list.push_back(resolver); });
  parts_.recommend.networkQueue->addNetworkOperation(resolver, QueuePriority::Normal);
}

void MRResolvingMix::waitForPlacements() {
  waitFor(parts_.env().clock(), kNoDeadline, [this] {
    return placementsPosted_.load() == 0 &&
           arrOperations_.with([](const auto& list) { return list.empty(); });
  });
}

}  // namespace mr
