#include "playback/MRNewReleaseMix.h"

#include "playback/MRBuildPlaylistFromNewReleaseOperation.h"

namespace mr {

MRNewReleaseMix::Release MRNewReleaseMix::releaseOf(const CDNewRelease& record) {
  Release release;
  release.collectionId = static_cast<uint64_t>(record.collectionId().value_or(0));
  if (auto artist = record.artist()) release.artistName = artist->name().value_or("");
  release.title = record.title().value_or("");
  return release;
}

MRNewReleaseMix::MRNewReleaseMix(MRMixParts parts, const CDNewRelease& subjectRelease)
    : MRNewReleaseMix(std::move(parts), releaseOf(subjectRelease)) {}

MRNewReleaseMix::MRNewReleaseMix(MRMixParts parts, Release subjectRelease)
    : MRPlaylistBuildOperation(*parts.recommend.env),
      parts_(std::move(parts)),
      release_(std::move(subjectRelease)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRNewReleaseMix::duplicate() const {
  return std::make_shared<MRNewReleaseMix>(parts_, release_);
}

void MRNewReleaseMix::cancel() {
  MRPlaylistBuildOperation::cancel();
  if (auto build = currentOp_.get()) build->cancel();
}

void MRNewReleaseMix::main() {
  MRPlaylistBuildOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  if (parts_.recommend.networkQueue && !isCancelled()) {
    auto build = std::make_shared<MRBuildPlaylistFromNewReleaseOperation>(
        parts_.env(), parts_.recommend.sites, release_.collectionId, release_.artistName,
        release_.title);
    std::weak_ptr<Operation> weakMix = weak_from_this();
    build->setBeginningBlock([weakMix](const std::string& artist, const std::string& title) {
      auto mix = std::static_pointer_cast<MRNewReleaseMix>(weakMix.lock());
      if (!mix) return;
      mix->setLocatingTrackArtist(artist);
      mix->setLocatingTrackTitle(title);
      mix->invokeProgressCallback();
    });
    Dispatcher& main = parts_.env().main();
    build->setOnCompletion([weakMix, &main](MRBuildPlaylistFromNewReleaseOperation& done) {
      main.post([weakMix, tracks = done.tracks()] {
        auto mix = std::static_pointer_cast<MRNewReleaseMix>(weakMix.lock());
        if (!mix) return;
        if (!mix->isCancelled()) {
          for (const auto& item : tracks)
            mix->appendTrack(item);
        }
        mix->listed_ = true;
        mix->wake();
      });
    });
    currentOp_.set(build);
    // A cancel that came before the build was known.
    if (isCancelled()) build->cancel();
    parts_.recommend.networkQueue->addNetworkOperation(build, QueuePriority::Normal);
    waitFor(parts_.env().clock(), kNoDeadline, [this] { return listed_.load(); });
    currentOp_.set(nullptr);
  }
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
