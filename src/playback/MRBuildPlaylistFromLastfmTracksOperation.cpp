#include "playback/MRBuildPlaylistFromLastfmTracksOperation.h"

#include <algorithm>

#include "external/MRLocatePreviewDataOperation.h"
#include "external/MRLocatePreviewDataSourceOperation.h"

namespace mr {

namespace {

std::shared_ptr<MRBuildPlaylistFromLastfmTracksOperation> lockBuild(
    const std::weak_ptr<Operation>& weak) {
  return std::static_pointer_cast<MRBuildPlaylistFromLastfmTracksOperation>(weak.lock());
}

}  // namespace

MRBuildPlaylistFromLastfmTracksOperation::MRBuildPlaylistFromLastfmTracksOperation(
    MRRecommendParts parts, std::vector<LastfmTrack> lastfmTracks)
    : MRServiceOperation(*parts.env),
      parts_(std::move(parts)),
      lastfmTracks_(std::move(lastfmTracks)) {}

std::optional<std::string> MRBuildPlaylistFromLastfmTracksOperation::artworkForTrack(
    const LastfmTrack& track, const std::vector<MRPreviewDataSource>& found) {
  for (const auto& source : found) {
    if (source.sourceID != MRPreviewSourceIDITunes) continue;
    auto info = std::dynamic_pointer_cast<MRiTunesAdditionalInfo>(source.additionalInfo);
    return info ? info->artworkUrl() : std::string();
  }
  if (!track.imageUrl) return std::nullopt;
  for (const std::string* size :
       {&track.imageUrl->extraLarge, &track.imageUrl->large, &track.imageUrl->medium}) {
    if (!size->empty()) return *size;
  }
  return std::nullopt;
}

bool MRBuildPlaylistFromLastfmTracksOperation::addPending(std::shared_ptr<Operation> operation) {
  return pending_.with([&operation](Pending& pending) {
    if (pending.closed) return false;
    pending.operations.push_back(std::move(operation));
    return true;
  });
}

void MRBuildPlaylistFromLastfmTracksOperation::removePending(const Operation* operation) {
  pending_.with([operation](Pending& pending) {
    std::erase_if(pending.operations,
                  [operation](const auto& op) { return op.get() == operation; });
  });
  wake();
}

void MRBuildPlaylistFromLastfmTracksOperation::cancel() {
  MRServiceOperation::cancel();
  const auto operations = pending_.with([](const Pending& pending) { return pending.operations; });
  for (const auto& operation : operations)
    operation->cancel();
}

void MRBuildPlaylistFromLastfmTracksOperation::enqueueFinder(size_t index) {
  const LastfmTrack& track = lastfmTracks_[index];
  auto finder = std::make_shared<MRLocatePreviewDataSourceOperation>(*parts_.env, parts_.sites,
                                                                     track.name, track.artistName);
  std::weak_ptr<Operation> weakBuild = weak_from_this();
  finder->setBeginningBlock([weakBuild, index](MRLocatePreviewDataSourceOperation&) {
    auto build = lockBuild(weakBuild);
    if (!build) return;
    const size_t startedBefore = build->started_++;
    // The names and the beginning block belong to the main thread.
    build->env().main().post([weakBuild, index, startedBefore] {
      if (auto build = lockBuild(weakBuild)) build->finderStarted(index, startedBefore);
    });
  });
  // The completion block also runs for a finder dropped before it started,
  // so every finder leaves the pending list.
  std::weak_ptr<MRLocatePreviewDataSourceOperation> weakFinder = finder;
  const Operation* key = finder.get();
  finder->setCompletionBlock([weakBuild, weakFinder, key, index] {
    auto build = lockBuild(weakBuild);
    if (!build) return;
    if (auto done = weakFinder.lock()) build->finderCompleted(*done, index);
    build->removePending(key);
  });
  if (!addPending(finder)) return;
  parts_.networkQueue->addNetworkOperation(finder, QueuePriority::Normal);
}

void MRBuildPlaylistFromLastfmTracksOperation::finderStarted(size_t index, size_t startedBefore) {
  if (pending_.with([](const Pending& pending) { return pending.closed; })) return;
  const LastfmTrack& track = lastfmTracks_[index];
  processing_.set({track.artistName, track.name});
  if (beginningBlock_) beginningBlock_(track.artistName, track.name);
  setProgress(static_cast<float>(startedBefore) / static_cast<float>(lastfmTracks_.size()));
}

void MRBuildPlaylistFromLastfmTracksOperation::finderCompleted(
    const MRLocatePreviewDataSourceOperation& finder, size_t index) {
  if (finder.isCancelled() || isCancelled()) return;
  auto found = finder.previewDataSourceSet();
  if (found.empty()) return;
  auto artwork = artworkForTrack(lastfmTracks_[index], found);
  if (!artwork) return;

  auto item = std::make_shared<MRPlaylistTrackItem>();
  item->artist = finder.artist();
  item->title = finder.title();
  item->imageUrl = std::move(*artwork);
  item->previewDataSourceSet = found;
  auto resolver =
      std::make_shared<MRLocatePreviewDataOperation>(*parts_.env, parts_.sites, std::move(found));
  std::weak_ptr<Operation> weakBuild = weak_from_this();
  std::weak_ptr<MRLocatePreviewDataOperation> weakResolver = resolver;
  const Operation* key = resolver.get();
  Dispatcher& main = parts_.env->main();
  resolver->setCompletionBlock([weakBuild, weakResolver, key, item, &main] {
    auto resolved = std::make_shared<std::vector<MRPreviewDataSource>>();
    if (auto done = weakResolver.lock(); done && !done->isCancelled())
      *resolved = done->subjectPreviewDataSourceSet();
    main.post([weakBuild, key, item, resolved] {
      auto build = lockBuild(weakBuild);
      if (!build) return;
      build->resolverCompleted(item, std::move(*resolved));
      build->removePending(key);
    });
  });
  // Pending before the finder leaves, so the list is never empty between.
  if (!addPending(resolver)) return;
  parts_.networkQueue->addNetworkOperation(resolver, QueuePriority::Normal);
}

void MRBuildPlaylistFromLastfmTracksOperation::resolverCompleted(
    const std::shared_ptr<MRPlaylistTrackItem>& item, std::vector<MRPreviewDataSource> resolved) {
  if (isCancelled() || resolved.empty()) return;
  if (pending_.with([](const Pending& pending) { return pending.closed; })) return;
  item->previewDataSourceSet = std::move(resolved);
  if (item->numberOfAvailablePreviewData() == 0) return;
  if (progressBlock_) progressBlock_(item);
}

void MRBuildPlaylistFromLastfmTracksOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  if (parts_.networkQueue) {
    for (size_t i = 0; i < lastfmTracks_.size() && !isCancelled(); ++i)
      enqueueFinder(i);
  }

  Clock& clock = parts_.env->clock();
  const size_t pendingNow =
      pending_.with([](const Pending& pending) { return pending.operations.size(); });
  const SteadyTime deadline = clock.deadlineAfter(
      seconds(static_cast<double>(kSecondsPerPendingOperation) * static_cast<double>(pendingNow)));
  waitFor(clock, deadline, [this] {
    return pending_.with([](const Pending& pending) { return pending.operations.empty(); });
  });

  const auto left = pending_.with([](Pending& pending) {
    pending.closed = true;
    return pending.operations;
  });
  for (const auto& operation : left)
    operation->cancel();
  setStatus(kMRServiceOperationStatusCompleted);
}

}  // namespace mr
