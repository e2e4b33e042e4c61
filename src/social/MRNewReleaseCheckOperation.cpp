#include "social/MRNewReleaseCheckOperation.h"

#include <atomic>

#include "base/Log.h"
#include "base/PendingAnswer.h"
#include "base/ThreadPool.h"
#include "library/MRMusicLibrary.h"
#include "model/CDUtility.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "store/CDNewRelease.h"

namespace mr {

// ---- One artist

MRNewReleaseCheckForArtistOperation::MRNewReleaseCheckForArtistOperation(MRRecommendParts parts,
                                                                         std::string artist)
    : parts_(std::move(parts)), subjectArtist_(std::move(artist)) {}

std::optional<std::string> MRNewReleaseCheckForArtistOperation::countryCode() const {
  // Without an account's country, the store of the current locale.
  std::string code = parts_.sites.countryCode ? parts_.sites.countryCode() : std::string();
  if (code.empty()) return std::nullopt;
  return code;
}

void MRNewReleaseCheckForArtistOperation::setInFlight(std::function<void()> cancelIt,
                                                      bool retrieval) {
  (retrieval ? opRetrieve_ : opLookup_).set(cancelIt);
  // A cancel that came before the step was known.
  if (cancelIt && isCancelled()) cancelIt();
}

void MRNewReleaseCheckForArtistOperation::cancel() {
  Operation::cancel();
  if (auto lookup = opLookup_.get()) lookup();
  if (auto retrieve = opRetrieve_.get()) retrieve();
}

void MRNewReleaseCheckForArtistOperation::main() {
  setCurrentThreadName(className() + "::main");
  if (beginningBlock_) beginningBlock_(*this);
  if (!parts_.env || !parts_.store || !parts_.sites.iTunes) return;
  Clock& clock = parts_.env->clock();
  const SteadyTime deadline = clock.deadlineAfter(seconds(kSearchTimeoutSeconds));

  // The answers may come after this operation is gone: they touch only this.
  using Answer = Result<std::vector<iTunesEntry>>;
  auto answer = std::make_shared<PendingAnswer<Answer>>(*this);
  auto search = parts_.sites.iTunes->searchMusicArtistWithArtist(
      subjectArtist_, countryCode(),
      [answer](std::vector<iTunesEntry> entries) { answer->deliver(Answer(std::move(entries))); },
      [answer](const Error& error) { answer->deliver(Answer(error)); });
  if (!search) return;
  waitFor(clock, deadline, [&answer] { return answer->arrived(); });
  auto outcome = answer->detach();
  if (!outcome) {
    // Timed out or cancelled.
    search->cancel();
    return;
  }
  if (!outcome->ok()) {
    log::info("The store could not be searched for {}: {}", subjectArtist_,
              outcome->error().toString());
    return;
  }
  // The album lookup and the storing share the search's minute.
  if (!outcome->value().empty()) {
    if (auto albums = lookUpAlbumsForEntry(outcome->value().front())) storeItems(*albums);
  }
  setInFlight(nullptr, false);
  setInFlight(nullptr, true);
  if (isCancelled() || clock.now() > deadline) return;

  CDNewReleaseCheckHistoryEntityController history(parts_.store.get());
  const Date now = clock.currentDate();
  if (auto record = history.findWithArtistName(subjectArtist_)) {
    record->setLastCheckedDate(now);
  } else {
    history.insertNewObjectWithArtistName(subjectArtist_, now);
  }
  if (Status saved = history.save(); !saved.ok()) {
    log::warning("The check of {} was not recorded: {}", subjectArtist_,
                 saved.error().toString());
    return;
  }
  searched_.set(true);
}

std::optional<std::vector<iTunesEntry>> MRNewReleaseCheckForArtistOperation::lookUpAlbumsForEntry(
    const iTunesEntry& entry) {
  Clock& clock = parts_.env->clock();
  using Answer = Result<std::vector<iTunesEntry>>;
  auto answer = std::make_shared<PendingAnswer<Answer>>(*this);
  auto lookup = parts_.sites.iTunes->lookupWithId(
      entry.artistId, std::string("album"), countryCode(),
      [answer](std::vector<iTunesEntry> entries) { answer->deliver(Answer(std::move(entries))); },
      [answer](const Error& error) { answer->deliver(Answer(error)); });
  if (!lookup) return std::nullopt;
  setInFlight([lookup] { lookup->cancel(); }, false);
  waitFor(clock, clock.deadlineAfter(seconds(kLookupTimeoutSeconds)),
          [&answer] { return answer->arrived(); });
  auto albums = answer->detach();
  if (!albums) lookup->cancel();
  setInFlight(nullptr, false);
  if (!albums || !albums->ok()) return std::nullopt;
  return std::move(albums->value());
}

void MRNewReleaseCheckForArtistOperation::storeItems(const std::vector<iTunesEntry>& entries) {
  // The artist is retrieved for every album first, and the albums written
  // after: no write transaction stays open while Last.fm is asked.
  std::vector<std::pair<const iTunesEntry*, std::string>> found;
  for (const iTunesEntry& entry : entries) {
    if (isCancelled()) break;
    if (entry.wrapperType != "collection") continue;
    auto retrieve = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, subjectArtist_);
    setInFlight([retrieve] { retrieve->cancel(); }, true);
    // In place: this thread only waits for it anyway.
    retrieve->start();
    setInFlight(nullptr, true);
    if (const auto info = retrieve->artistInfo()) found.emplace_back(&entry, info->name);
  }
  if (found.empty()) return;

  CDNewReleaseEntityController releases(parts_.store.get());
  CDArtistEntityController artists(releases.context());
  for (const auto& [entry, artistName] : found) {
    if (releases.existsWithTitle(entry->collectionName, entry->artistName)) continue;
    const auto artist = artists.findWithArtistName(artistName);
    auto release = releases.insertNewObject();
    if (!release) return;  // no store
    release->setArtist(artist.get());
    release->setCollectionId(static_cast<int64_t>(entry->collectionId));
    release->setImageUrl(entry->artworkUrl());
    release->setTitle(entry->collectionName);
    release->setTrackCount(static_cast<int64_t>(entry->trackCount));
    release->setReleaseDate(entry->releaseDate);
    release->setItemHash(CDUtility::itemHashWithTitle(entry->collectionName, entry->artistName));
  }
  if (Status saved = releases.save(); !saved.ok()) {
    log::warning("The releases of {} were not stored: {}", subjectArtist_,
                 saved.error().toString());
    return;
  }
  if (Status saved = artists.save(); !saved.ok()) {
    log::warning("The artists of {} were not saved: {}", subjectArtist_, saved.error().toString());
  }
}

// ---- The whole check

MRNewReleaseCheckOperation::MRNewReleaseCheckOperation(MRRecommendParts parts,
                                                       ArtistSource artists)
    : MRServiceOperation(*parts.env),
      parts_(std::move(parts)),
      artists_(std::move(artists)),
      checkQueue_(std::make_shared<OperationQueue>("MRNewReleaseCheckQueue", 1)) {}

void MRNewReleaseCheckOperation::cancel() {
  MRServiceOperation::cancel();
  checkQueue_->cancelAllOperations();
}

std::optional<std::vector<std::string>> MRNewReleaseCheckOperation::retrieveArtistList() {
  Result<std::vector<std::string>> artists = std::vector<std::string>{};
  if (artists_) {
    artists = artists_();
  } else {
    auto library = MRMusicLibrary::defaultMusicLibrary(
        MRUserDefaults(env().settings(), env().paths().home), MRITunesMusicLibrary::Fields::Identity);
    if (library.ok()) {
      artists = (*library)->source().allArtists();
    } else {
      artists = library.error();
    }
  }
  if (!artists.ok()) {
    const Error& error = artists.error();
    setLastError(error.domain() == kMireluneErrorDomain && error.code() == kMRErrorMusicLibraryLoad
                     ? error
                     : musicLibraryLoadError("", error.description()));
    return std::nullopt;
  }
  return std::move(*artists);
}

void MRNewReleaseCheckOperation::main() {
  MRServiceOperation::main();
  setStatus(kMRServiceOperationStatusProcessing);
  Clock& clock = env().clock();
  // Offline at the start: nothing runs, and the check waits to be cancelled.
  const int width = env().reachability().isReachable() ? 1 : 0;
  checkQueue_->setMaxConcurrentOperationCount(width);
  lookedUp_.set(0);

  const auto artists = retrieveArtistList();
  if (artists) {
    const size_t total = artists->size();
    auto done = std::make_shared<std::atomic<size_t>>(0);
    const auto countDone = [this, done, total] {
      setProgress(static_cast<float>(++*done) / static_cast<float>(total));
    };
    CDNewReleaseCheckHistoryEntityController history(parts_.store.get());
    OperationTracker tracker(*this);
    for (const std::string& name : *artists) {
      if (isCancelled()) break;
      if (auto record = history.findWithArtistName(name)) {
        const auto checked = record->lastCheckedDate();
        if (checked && clock.currentDate().secondsSince1970 - checked->secondsSince1970 <=
                           kHistorySeconds) {
          processing_.set(name);
          countDone();
          continue;
        }
      }
      auto check = std::make_shared<MRNewReleaseCheckForArtistOperation>(parts_, name);
      check->setBeginningBlock([this](MRNewReleaseCheckForArtistOperation& operation) {
        processing_.set(operation.subjectArtist());
        invokeProgressCallback();
      });
      tracker.track(*check, countDone);
      checkQueue_->addOperation(check);
      lookedUp_.with([](size_t& count) { ++count; });
      // The queue takes one at a time; the check paces itself on it. With a
      // width of 0 this lasts until the check is cancelled.
      waitFor(clock, kNoDeadline, [&tracker, width] {
        return static_cast<int>(tracker.pending()) < width;
      });
      if (isCancelled()) {
        checkQueue_->cancelAllOperations();
        break;
      }
    }
    if (isCancelled()) checkQueue_->cancelAllOperations();
    checkQueue_->waitUntilAllOperationsAreFinished();
  }
  // Also when cancelled: what was checked stays checked.
  setStatus(kMRServiceOperationStatusCompleted);
}

}  // namespace mr
