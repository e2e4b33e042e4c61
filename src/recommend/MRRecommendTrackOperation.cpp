#include "recommend/MRRecommendTrackOperation.h"

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "external/ExternalErrors.h"
#include "recommend/MRRecommendArtistOperation.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "model/CDUtility.h"

namespace mr {

// The seed's controllers, over one context: every candidate's lookups see
// what the earlier candidates stored.
struct MRRecommendTrackOperation::Controllers {
  explicit Controllers(const std::shared_ptr<Context>& context)
      : recommendTracks(context),
        queue(context),
        used(context),
        previewDataSources(context),
        blacklist(context),
        artists(context),
        history(context) {}
  CDRecommendTrackEntityController recommendTracks;
  CDTrackRecommendationQueueEntityController queue;
  CDTrackUsedForRecommendationEntityController used;
  CDPreviewDataSourceEntityController previewDataSources;
  CDArtistBlackListEntityController blacklist;
  CDArtistEntityController artists;
  CDPlayHistoryTrackEntityController history;
};

MRRecommendTrackOperation::MRRecommendTrackOperation(MRRecommendParts parts,
                                                     std::optional<std::string> subjectTitle,
                                                     std::optional<std::string> subjectArtist,
                                                     std::string subjectAlbum)
    : parts_(std::move(parts)),
      subjectTitle_(std::move(subjectTitle)),
      subjectArtist_(std::move(subjectArtist)),
      subjectAlbum_(std::move(subjectAlbum)) {}

MRRecommendTrackOperation::~MRRecommendTrackOperation() = default;

void MRRecommendTrackOperation::setBeginningBlock(
    std::function<void(MRRecommendTrackOperation&)> block) {
  beginning_ = std::move(block);
}

void MRRecommendTrackOperation::setProgressBlock(
    std::function<void(MRRecommendTrackOperation&, const CDRecommendTrack&)> block) {
  progress_ = std::move(block);
}

std::optional<Error> MRRecommendTrackOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

void MRRecommendTrackOperation::setLastError(Error error) {
  std::lock_guard guard(mutex_);
  lastError_ = std::move(error);
}

void MRRecommendTrackOperation::cancel() {
  Operation::cancel();
  cancelSteps();
}

void MRRecommendTrackOperation::cancelSteps() {
  std::shared_ptr<HttpOperation> request;
  std::vector<std::shared_ptr<Operation>> steps;
  {
    std::lock_guard guard(mutex_);
    request = similarRequest_;
    steps = steps_;
  }
  if (request) request->cancel();
  for (const auto& step : steps)
    step->cancel();
}

void MRRecommendTrackOperation::main() {
  setCurrentThreadName(className());
  if (beginning_) beginning_(*this);
  if (!subjectTitle_ || !subjectArtist_) return;
  Clock& clock = parts_.env->clock();

  // The user-artist step runs beside the similar-track step.
  OperationTracker userArtistStep(*this);
  if (subjectIsUserTrack) retrieveUserArtistInfo(userArtistStep);

  using Answer = Result<std::vector<LastfmTrack>>;
  auto similar = std::make_shared<PendingAnswer<Answer>>(*this);
  auto request = parts_.lastfm->requestTrack_GetSimilar(
      *subjectTitle_, *subjectArtist_, true, recommendLimit,
      [similar](std::vector<LastfmTrack> tracks) { similar->deliver(Answer(std::move(tracks))); },
      [similar](const Error& error) { similar->deliver(Answer(error)); });
  {
    std::lock_guard guard(mutex_);
    similarRequest_ = request;
  }
  if (request) waitFor(clock, kNoDeadline, [&similar] { return similar->arrived(); });
  auto answer = similar->detach();
  std::vector<LastfmTrack> tracks;
  if (answer && answer->ok()) {
    lastfmAnswered_ = true;
    tracks = std::move(*answer).value();
  } else if (answer) {
    log::info("Could not ask Last.fm for tracks similar to \"{}\": {}", *subjectTitle_,
              answer->error().toString());
    setLastError(answer->error());
  }
  if (!isCancelled()) inspectAndStoreTracks(tracks);
  waitFor(clock, kNoDeadline, [&userArtistStep] { return userArtistStep.allEnded(); });
  if (isCancelled()) cancelSteps();
  std::lock_guard guard(mutex_);
  similarRequest_.reset();
  steps_.clear();
}

void MRRecommendTrackOperation::retrieveUserArtistInfo(OperationTracker& tracker) {
  auto retrieve = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, *subjectArtist_);
  std::shared_ptr<Database> store = parts_.store;
  retrieve->setOnCompletion([store](MRRetrieveArtistInfoOperation& done) {
    const auto artist = done.artistInfo();
    if (!artist || !store) return;
    auto context = store->newContext();
    (void)context->beginWriting();  // one user artist, however many seeds name it
    CDArtistEntityController artists(context);
    CDUserArtistEntityController userArtists(context);
    auto record = artists.findWithArtistName(artist->name);
    if (!record || userArtists.findWithArtistName(artist->name)) return;
    if (auto userArtist = userArtists.insertNewObject()) {
      userArtist->setItemHash(record->itemHash());
      userArtist->setArtist(record.get());
      if (Status saved = userArtists.save(); !saved.ok())
        log::warning("Cannot store the user artist {}: {}", artist->name, saved.error().toString());
    }
  });
  tracker.track(*retrieve);
  {
    std::lock_guard guard(mutex_);
    steps_.push_back(retrieve);
  }
  parts_.networkQueue->addNetworkOperation(retrieve, QueuePriority::Low);
}

void MRRecommendTrackOperation::inspectAndStoreTracks(const std::vector<LastfmTrack>& tracks) {
  setCurrentThreadName(className() + "::inspectAndStoreTracks");
  if (!parts_.store) return;
  controllers_ = std::make_unique<Controllers>(parts_.store->newContext());
  const Env& env = *parts_.env;
  for (const LastfmTrack& track : tracks) {
    if (isCancelled() || storeError()) break;
    if (controllers_->blacklist.checkIfBlacklistedWithArtistName(track.artistName)) continue;

    auto locate = std::make_shared<MRLocatePreviewDataSourceOperation>(
        env, parts_.sites, track.name, track.artistName);
    auto recommendArtist =
        std::make_shared<MRRecommendArtistOperation>(parts_, track.artistName, *subjectArtist_);
    OperationTracker candidate(*this);
    candidate.track(*locate);
    candidate.track(*recommendArtist);
    {
      std::lock_guard guard(mutex_);
      steps_.push_back(locate);
      steps_.push_back(recommendArtist);
    }
    parts_.networkQueue->addNetworkOperation(locate, QueuePriority::Low);
    parts_.networkQueue->addNetworkOperation(recommendArtist, QueuePriority::Low);
    waitFor(env.clock(), kNoDeadline, [&candidate] { return candidate.allEnded(); });
    {
      std::lock_guard guard(mutex_);
      std::erase(steps_, locate);
      std::erase(steps_, recommendArtist);
    }
    if (isCancelled()) {
      locate->cancel();
      recommendArtist->cancel();
      break;
    }
    const auto sources = locate->previewDataSourceSet();
    const auto artistItemHash = recommendArtist->artistItemHash();
    if (!sources.empty()) {
      composeAndStoreRecommendTrackWithPreviewDataSourceSet(sources, track, artistItemHash);
    }
    // A candidate lost because a site could not be asked for now, not
    // because it has nothing to offer.
    const auto failure = sources.empty()   ? locate->lastError()
                         : !artistItemHash ? recommendArtist->lastError()
                                           : std::nullopt;
    if (failure && isTemporaryFailure(*failure)) setLastError(*failure);
  }
  if (Status saved = controllers_->recommendTracks.save(); !saved.ok() && !storeError())
    storeError_.set(saved.error());
}

namespace {
// The store's facts about the candidate: those of its (last) iTunes source.
std::optional<MRiTunesAdditionalInfo> iTunesInfoOf(
    const std::vector<MRPreviewDataSource>& sources) {
  std::optional<MRiTunesAdditionalInfo> info;
  for (const auto& source : sources) {
    if (source.sourceID != MRPreviewSourceIDITunes || !source.additionalInfo) continue;
    if (const Dictionary* data = source.additionalInfo->data().asDictionary()) info.emplace(*data);
  }
  return info;
}
}  // namespace

std::optional<std::string> MRRecommendTrackOperation::imageUrlForCandidate(
    const std::vector<MRPreviewDataSource>& sources, const LastfmTrack& track) {
  if (const auto info = iTunesInfoOf(sources)) {
    if (std::string artwork = info->artworkUrl(); !artwork.empty()) return artwork;
  }
  if (!track.imageUrl) return std::nullopt;
  // An empty size is no image: a recommendation is never shown blank.
  for (const std::string* size :
       {&track.imageUrl->extraLarge, &track.imageUrl->large, &track.imageUrl->medium}) {
    if (!size->empty()) return *size;
  }
  return std::nullopt;
}

bool MRRecommendTrackOperation::composeAndStoreRecommendTrackWithPreviewDataSourceSet(
    const std::vector<MRPreviewDataSource>& sources, const LastfmTrack& track,
    const std::optional<std::string>& artistItemHash) {
  if (!controllers_) {
    if (!parts_.store) return false;
    controllers_ = std::make_unique<Controllers>(parts_.store->newContext());
  }
  Controllers& c = *controllers_;
  const std::string hash = CDUtility::itemHashWithTitle(track.name, track.artistName);
  const auto artist = artistItemHash ? c.artists.findWithItemHash(*artistItemHash) : nullptr;
  if (!artist || c.recommendTracks.findWithItemHash(hash) || c.queue.findWithItemHash(hash) ||
      c.used.findWithItemHash(hash) || c.history.findWithItemHash(hash)) {
    return false;
  }
  const auto imageUrl = imageUrlForCandidate(sources, track);
  if (!imageUrl) return false;

  const auto iTunes = iTunesInfoOf(sources);
  const std::optional<std::string> primaryGenreName =
      iTunes ? std::optional<std::string>(iTunes->primaryGenreName()) : std::nullopt;

  auto record = c.recommendTracks.insertNewObject();
  if (!record) return false;
  record->setArtist(artist.get());
  record->setTitle(track.name);
  record->setImageUrl(imageUrl);
  record->setSourceArtist(subjectArtist_);
  record->setSourceAlbum(subjectAlbum_);
  record->setSourceTitle(subjectTitle_);
  record->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*record));
  record->setPrimaryGenreName(primaryGenreName);
  for (const auto& source : sources) {
    if (auto stored = c.previewDataSources.insertNewObject()) {
      assignPreviewDataSourceToManagedObject(source, *stored);
      stored->setRecommendTrack(record.get());
    }
  }
  // Saved before anyone hears of it, so a listener reading the store finds it.
  // One context: this carries the sources too.
  if (Status saved = c.recommendTracks.save(); !saved.ok()) {
    c.recommendTracks.context()->rollback();
    storeError_.set(saved.error());
    return false;
  }
  ++storedCount_;
  if (progress_) progress_(*this, *record);
  return true;
}

}  // namespace mr
