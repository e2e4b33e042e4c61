#include "external/MRLocatePreviewDataSourceOperation.h"

#include <atomic>

#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "external/YouTubeMusicVideoResolver.h"

namespace mr {

namespace {

// How long the iTunes finder waits for the store's answer.
constexpr int kITunesPatienceSeconds = 30;

std::shared_ptr<MRiTunesAdditionalInfo> iTunesAdditionalInfo(const iTunesEntry& entry) {
  auto info = std::make_shared<MRiTunesAdditionalInfo>();
  info->setWrapperType(entry.wrapperType);
  info->setKind(entry.kind);
  info->setArtistName(entry.artistName);
  info->setCollectionName(entry.collectionName);
  info->setTrackName(entry.trackName);
  info->setPreviewUrl(entry.previewUrl);
  info->setArtworkUrl100(entry.artworkUrl100);
  info->setArtworkUrl200(entry.artworkUrl200);
  info->setTrackViewUrl(entry.trackViewUrl);
  info->setCollectionViewUrl(entry.collectionViewUrl);
  info->setTrackId(static_cast<int64_t>(entry.trackId));
  info->setCollectionId(static_cast<int64_t>(entry.collectionId));
  info->setArtistId(static_cast<int64_t>(entry.artistId));
  info->setPrimaryGenreName(entry.primaryGenreName);
  info->setPrimaryGenreId(static_cast<int64_t>(entry.primaryGenreId));
  if (entry.releaseDate) info->setReleaseDate(Value(*entry.releaseDate));
  info->setTrackCount(static_cast<int64_t>(entry.trackCount));
  return info;
}

std::shared_ptr<MRYouTubeAdditionalInfo> youTubeAdditionalInfo(const YouTubeVideoEntry& entry) {
  auto info = std::make_shared<MRYouTubeAdditionalInfo>();
  info->setTitle(entry.title);
  info->setDescription(entry.description);
  info->setKeywords(entry.keywords);
  info->setCategory(entry.category);
  info->setLink(entry.link);
  info->setVideoID(entry.videoID);
  info->setIsRestricted(entry.isRestricted);
  info->setViewCount(static_cast<int32_t>(entry.viewCount));
  info->setFavoriteCount(static_cast<int32_t>(entry.favoriteCount));
  return info;
}

// What a site that did not answer in time leaves.
Error noAnswerWithin(const char* site, int seconds) {
  return Error(
      kHttpErrorDomain, kHttpErrorTimedOut,
      std::string(site) + " did not answer within " + std::to_string(seconds) + " seconds");
}

}  // namespace

// iTunes Store

MRLocateITunesPreviewDataSourceOperation::MRLocateITunesPreviewDataSourceOperation(
    const Env& env, MRPreviewSites sites, std::string title, std::string artist)
    : env_(env), sites_(std::move(sites)), title_(std::move(title)), artist_(std::move(artist)) {}

std::optional<MRPreviewDataSource> MRLocateITunesPreviewDataSourceOperation::previewDataSource()
    const {
  std::lock_guard guard(mutex_);
  return previewDataSource_;
}

std::optional<Error> MRLocateITunesPreviewDataSourceOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

void MRLocateITunesPreviewDataSourceOperation::setOnCompletion(
    std::function<void(MRLocateITunesPreviewDataSourceOperation&)> block) {
  std::lock_guard guard(mutex_);
  onCompletion_ = std::move(block);
}

std::optional<MRPreviewDataSource>
MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries(
    const std::vector<iTunesEntry>& entries, Date now) {
  // The search term already holds artist and title; names are not compared
  // again, only music videos and songs without a preview are passed over.
  for (const auto& entry : entries) {
    if (entry.kind != "song" || entry.previewUrl.empty()) continue;
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDITunes;
    source.previewUrl = entry.previewUrl;
    source.additionalInfo = iTunesAdditionalInfo(entry);
    source.locatedAt = now;
    return source;
  }
  return std::nullopt;
}

void MRLocateITunesPreviewDataSourceOperation::main() {
  setCurrentThreadName(className());
  using Answer = Result<std::vector<iTunesEntry>>;
  auto pending = std::make_shared<PendingAnswer<Answer>>(*this);
  const SteadyTime deadline = env_.clock().deadlineAfter(seconds(kITunesPatienceSeconds));

  std::shared_ptr<HttpOperation> request;
  if (sites_.iTunes && !isCancelled()) {
    std::optional<std::string> country;
    if (sites_.countryCode) country = sites_.countryCode();
    if (country && country->empty()) country.reset();
    request = sites_.iTunes->searchWithArtist(
        artist_, title_, country,
        [pending](std::vector<iTunesEntry> entries) {
          pending->deliver(Answer(std::move(entries)));
        },
        [pending](const Error& error) { pending->deliver(Answer(error)); });
    // No request (a term that cannot be sent) means no answer will come.
    if (request) waitFor(env_.clock(), deadline, [&pending] { return pending->arrived(); });
  }

  const auto answer = pending->detach();
  if (request && !request->isFinished()) request->cancel();
  std::optional<MRPreviewDataSource> found;
  std::optional<Error> error;
  if (answer && answer->ok()) {
    found = previewDataSourceFromEntries(answer->value(), env_.clock().currentDate());
  } else if (answer) {
    error = answer->error();
  } else if (request && !isCancelled()) {
    error = noAnswerWithin("The iTunes Store", kITunesPatienceSeconds);
  }

  std::function<void(MRLocateITunesPreviewDataSourceOperation&)> completion;
  {
    std::lock_guard guard(mutex_);
    previewDataSource_ = std::move(found);
    lastError_ = std::move(error);
    completion = onCompletion_;
  }
  if (completion) completion(*this);
}

// Music video

MRLocateYouTubePreviewDataSourceOperation::MRLocateYouTubePreviewDataSourceOperation(
    const Env& env, MRPreviewSites sites, std::string title, std::string artist)
    : env_(env), sites_(std::move(sites)), title_(std::move(title)), artist_(std::move(artist)) {}

std::optional<MRPreviewDataSource> MRLocateYouTubePreviewDataSourceOperation::previewDataSource()
    const {
  std::lock_guard guard(mutex_);
  return previewDataSource_;
}

std::optional<Error> MRLocateYouTubePreviewDataSourceOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

void MRLocateYouTubePreviewDataSourceOperation::setOnCompletion(
    std::function<void(MRLocateYouTubePreviewDataSourceOperation&)> block) {
  std::lock_guard guard(mutex_);
  onCompletion_ = std::move(block);
}

MRPreviewDataSource MRLocateYouTubePreviewDataSourceOperation::previewDataSourceFromEntry(
    const YouTubeVideoEntry& entry, Date now) {
  // No preview URL yet: stream addresses expire, so the stream is extracted
  // from the watch page (the info's link) just before playing.
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDYouTube;
  source.additionalInfo = youTubeAdditionalInfo(entry);
  source.locatedAt = now;
  return source;
}

void MRLocateYouTubePreviewDataSourceOperation::main() {
  setCurrentThreadName(className());
  {
    std::lock_guard guard(mutex_);
    previewDataSource_.reset();
    lastError_.reset();
  }
  using Answer = Result<std::optional<YouTubeVideoEntry>>;
  auto pending = std::make_shared<PendingAnswer<Answer>>(*this);

  std::shared_ptr<HttpOperation> request;
  if (sites_.video && !isCancelled()) {
    request = YouTubeMusicVideoResolver::retrieveWithTitle(
        *sites_.video, title_, artist_,
        [pending](std::optional<YouTubeVideoEntry> chosen) {
          pending->deliver(Answer(std::move(chosen)));
        },
        [pending](const Error& error) { pending->deliver(Answer(error)); });
    // No deadline of its own: the caller's applies, through cancel().
    if (request) waitFor(env_.clock(), kNoDeadline, [&pending] { return pending->arrived(); });
  }

  const auto answer = pending->detach();
  if (request && !request->isFinished()) request->cancel();
  std::optional<MRPreviewDataSource> found;
  std::optional<Error> error;
  if (answer && answer->ok()) {
    if (const auto& chosen = answer->value())
      found = previewDataSourceFromEntry(*chosen, env_.clock().currentDate());
  } else if (answer) {
    error = answer->error();
  }

  std::function<void(MRLocateYouTubePreviewDataSourceOperation&)> completion;
  {
    std::lock_guard guard(mutex_);
    previewDataSource_ = std::move(found);
    lastError_ = std::move(error);
    completion = onCompletion_;
  }
  if (completion) completion(*this);
}

// Both sites

MRLocatePreviewDataSourceOperation::MRLocatePreviewDataSourceOperation(const Env& env,
                                                                       MRPreviewSites sites,
                                                                       std::string title,
                                                                       std::string artist)
    : env_(env),
      sites_(std::move(sites)),
      title_(std::move(title)),
      artist_(std::move(artist)),
      finders_(std::make_shared<OperationQueue>("MRLocatePreviewDataSourceOperation", 2)) {}

std::vector<MRPreviewDataSource> MRLocatePreviewDataSourceOperation::previewDataSourceSet() const {
  std::lock_guard guard(mutex_);
  return previewDataSourceSet_;
}

std::optional<Error> MRLocatePreviewDataSourceOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return iTunesError_ ? iTunesError_ : videoError_;
}

void MRLocatePreviewDataSourceOperation::setBeginningBlock(
    std::function<void(MRLocatePreviewDataSourceOperation&)> block) {
  std::lock_guard guard(mutex_);
  beginning_ = std::move(block);
}

void MRLocatePreviewDataSourceOperation::setOnCompletion(
    std::function<void(MRLocatePreviewDataSourceOperation&)> block) {
  std::lock_guard guard(mutex_);
  onCompletion_ = std::move(block);
}

void MRLocatePreviewDataSourceOperation::cancel() {
  Operation::cancel();
  finders_->cancelAllOperations();
}

void MRLocatePreviewDataSourceOperation::main() {
  setCurrentThreadName(className());
  std::function<void(MRLocatePreviewDataSourceOperation&)> beginning;
  {
    std::lock_guard guard(mutex_);
    previewDataSourceSet_.clear();
    iTunesError_.reset();
    videoError_.reset();
    beginning = beginning_;
  }
  if (beginning) beginning(*this);

  // The finders report here while this operation waits; a finder that
  // reports after the deadline finds the set closed.
  struct Collector {
    std::mutex mutex;
    MRLocatePreviewDataSourceOperation* owner = nullptr;
    std::atomic<bool> iTunesDone{false};
    std::atomic<bool> videoDone{false};

    void add(const std::optional<MRPreviewDataSource>& source, std::optional<Error> error,
             bool atFront, std::atomic<bool>& done) {
      std::lock_guard guard(mutex);
      if (owner == nullptr) return;
      {
        std::lock_guard setGuard(owner->mutex_);
        auto& set = owner->previewDataSourceSet_;
        if (source) set.insert(atFront ? set.begin() : set.end(), *source);
        (atFront ? owner->iTunesError_ : owner->videoError_) = std::move(error);
      }
      done = true;
      owner->wake();
    }
    void close() {
      std::lock_guard guard(mutex);
      owner = nullptr;
    }
  };
  auto collector = std::make_shared<Collector>();
  collector->owner = this;

  auto iTunes =
      std::make_shared<MRLocateITunesPreviewDataSourceOperation>(env_, sites_, title_, artist_);
  iTunes->setOnCompletion([collector](MRLocateITunesPreviewDataSourceOperation& finder) {
    collector->add(finder.previewDataSource(), finder.lastError(), true, collector->iTunesDone);
  });
  auto video =
      std::make_shared<MRLocateYouTubePreviewDataSourceOperation>(env_, sites_, title_, artist_);
  video->setOnCompletion([collector](MRLocateYouTubePreviewDataSourceOperation& finder) {
    collector->add(finder.previewDataSource(), finder.lastError(), false, collector->videoDone);
  });

  // One deadline for both: the video finder gets what the iTunes one left.
  const SteadyTime deadline = env_.clock().deadlineAfter(seconds(kDeadlineSeconds));
  finders_->addOperation(iTunes);
  finders_->addOperation(video);
  const bool iTunesAnswered =
      waitFor(env_.clock(), deadline, [&collector] { return collector->iTunesDone.load(); });
  const bool videoAnswered =
      waitFor(env_.clock(), deadline, [&collector] { return collector->videoDone.load(); });
  collector->close();
  if (!iTunesAnswered) iTunes->cancel();
  if (!videoAnswered) video->cancel();
  if (!isCancelled()) {
    std::lock_guard guard(mutex_);
    if (!iTunesAnswered) iTunesError_ = noAnswerWithin("The iTunes Store", kDeadlineSeconds);
    if (!videoAnswered) videoError_ = noAnswerWithin("The video site", kDeadlineSeconds);
  }

  std::function<void(MRLocatePreviewDataSourceOperation&)> completion;
  {
    std::lock_guard guard(mutex_);
    completion = onCompletion_;
  }
  if (completion) completion(*this);
}

}  // namespace mr
