#include "playback/MRBuildPlaylistFromNewReleaseOperation.h"

#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"

namespace mr {

MRBuildPlaylistFromNewReleaseOperation::MRBuildPlaylistFromNewReleaseOperation(
    const Env& env, MRPreviewSites sites, uint64_t subjectObjectID, std::string subjectArtist,
    std::string subjectTitle)
    : env_(env),
      sites_(std::move(sites)),
      subjectObjectID_(subjectObjectID),
      subjectArtist_(std::move(subjectArtist)),
      subjectTitle_(std::move(subjectTitle)) {}

std::vector<std::shared_ptr<MRNewReleaseMixTrackItem>>
MRBuildPlaylistFromNewReleaseOperation::trackItemsFromEntries(
    const std::vector<iTunesEntry>& entries, Date now) {
  std::vector<std::shared_ptr<MRNewReleaseMixTrackItem>> items;
  for (const auto& entry : entries) {
    // The same rule as for a found preview: a song, with a preview URL.
    auto source =
        MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries({entry}, now);
    if (!source) continue;
    auto item = std::make_shared<MRNewReleaseMixTrackItem>();
    item->artist = entry.artistName;
    item->title = entry.trackName;
    item->album = entry.collectionName;
    item->imageUrl = entry.artworkUrl();
    item->releaseDate = entry.releaseDate;
    item->previewDataSourceSet = {std::move(*source)};
    items.push_back(std::move(item));
  }
  return items;
}

void MRBuildPlaylistFromNewReleaseOperation::main() {
  setCurrentThreadName(className() + "::main");
  if (beginningBlock_) {
    env_.main().post([block = beginningBlock_, artist = subjectArtist_, title = subjectTitle_] {
      block(artist, title);
    });
  }

  using Answer = Result<std::vector<iTunesEntry>>;
  auto pending = std::make_shared<PendingAnswer<Answer>>(*this);
  std::shared_ptr<HttpOperation> request;
  if (sites_.iTunes && !isCancelled()) {
    std::optional<std::string> country;
    if (sites_.countryCode) country = sites_.countryCode();
    if (country && country->empty()) country.reset();
    request = sites_.iTunes->lookupWithId(
        subjectObjectID_, std::string("song"), country,
        [pending](std::vector<iTunesEntry> entries) {
          pending->deliver(Answer(std::move(entries)));
        },
        [pending](const Error& error) { pending->deliver(Answer(error)); });
    // Every request the engine accepts ends in one of the two callbacks.
    if (request) waitFor(env_.clock(), kNoDeadline, [&pending] { return pending->arrived(); });
  }
  const auto answer = pending->detach();
  if (request && !request->isFinished()) request->cancel();
  if (answer && answer->ok() && !isCancelled())
    tracks_.set(trackItemsFromEntries(answer->value(), env_.clock().currentDate()));

  if (onCompletion_) onCompletion_(*this);
}

}  // namespace mr
