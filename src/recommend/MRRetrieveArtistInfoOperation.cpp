#include "recommend/MRRetrieveArtistInfoOperation.h"

#include "base/PendingAnswer.h"
#include "base/Log.h"
#include "base/ThreadPool.h"
#include "store/CDArtist.h"

namespace mr {

// What Last.fm's answer came to.
struct MRRetrieveArtistInfoOperation::Outcome {
  std::optional<LastfmArtist> artist;
  std::optional<Error> error;
};

MRRetrieveArtistInfoOperation::MRRetrieveArtistInfoOperation(MRRecommendParts parts,
                                                             std::string subjectArtist,
                                                             std::optional<std::string> subjectWaid)
    : parts_(std::move(parts)),
      subjectArtist_(std::move(subjectArtist)),
      subjectWaid_(std::move(subjectWaid)) {}

std::optional<LastfmArtist> MRRetrieveArtistInfoOperation::artistInfo() const {
  std::lock_guard guard(mutex_);
  return artistInfo_;
}

std::optional<Error> MRRetrieveArtistInfoOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

void MRRetrieveArtistInfoOperation::setOnCompletion(
    std::function<void(MRRetrieveArtistInfoOperation&)> block) {
  std::lock_guard guard(mutex_);
  onCompletion_ = std::move(block);
}

void MRRetrieveArtistInfoOperation::cancel() {
  Operation::cancel();
  std::shared_ptr<HttpOperation> retrieve;
  {
    std::lock_guard guard(mutex_);
    retrieve = retrieve_;
  }
  if (retrieve) retrieve->cancel();
}

void MRRetrieveArtistInfoOperation::storeArtist(Database& store, const LastfmArtist& artist,
                                                const std::string& subjectArtist) {
  auto context = store.newContext();
  // Two seeds may meet the same new artist at once: one stores it.
  if (Status writing = context->beginWriting(); !writing.ok()) {
    log::warning("Cannot store the artist {}: {}", artist.name, writing.error().toString());
    return;
  }
  CDArtistEntityController artists(context);
  auto record = artists.findWithArtistName(artist.name);
  if (!record) record = artists.insertNewObjectWithLastfmArtist(artist);
  if (!record) return;
  CDArtistVariantEntityController variants(context);
  if (auto variant =
          variants.insertNewObjectWithName(subjectArtist, record->itemHash().value_or("")))
    variant->setArtist(record.get());
  if (Status saved = artists.save(); !saved.ok())
    log::warning("Cannot store the artist {}: {}", artist.name, saved.error().toString());
}

void MRRetrieveArtistInfoOperation::main() {
  setCurrentThreadName(className());
  const Env& env = *parts_.env;
  std::optional<LastfmArtist> stored;
  if (parts_.store) {
    CDArtistEntityController artists(parts_.store.get());
    auto record = subjectWaid_ ? artists.findWithWaid(*subjectWaid_)
                               : artists.findWithArtistName(subjectArtist_);
    if (record) {
      stored.emplace();
      record->assignToLastFMArtist(*stored);
    }
  }

  if (stored) {
    std::lock_guard guard(mutex_);
    artistInfo_ = std::move(stored);
  } else if (!isCancelled() && parts_.lastfm) {
    auto answer = std::make_shared<PendingAnswer<Outcome>>(*this);
    std::shared_ptr<Database> store = parts_.store;
    ThreadPool& background = env.background();
    const std::string subject = subjectArtist_;
    auto request = parts_.lastfm->requestArtist_GetInfoByName(
        subjectArtist_, parts_.currentLanguage(), true,
        [answer, store, &background, subject](LastfmArtist artist) {
          // Stored off the main thread; an answer after the deadline is
          // still kept, though nobody waits for it any more.
          background.post([answer, store, subject, artist = std::move(artist)] {
            if (store) storeArtist(*store, artist, subject);
            answer->deliver(Outcome{artist, std::nullopt});
          });
        },
        [answer](const Error& error) {
          answer->deliver(Outcome{std::nullopt, error});
        });
    {
      std::lock_guard guard(mutex_);
      retrieve_ = request;
    }
    if (request) {
      waitFor(env.clock(), env.clock().deadlineAfter(seconds(kDeadlineSeconds)),
              [&answer] { return answer->arrived(); });
    }
    auto outcome = answer->detach();
    if (outcome) {
      std::lock_guard guard(mutex_);
      artistInfo_ = std::move(outcome->artist);
      lastError_ = std::move(outcome->error);
    } else if (request) {
      request->cancel();
      if (!isCancelled()) {
        std::lock_guard guard(mutex_);
        lastError_ =
            Error(kHttpErrorDomain, kHttpErrorTimedOut,
                  "Last.fm did not answer within " + std::to_string(kDeadlineSeconds) + " seconds");
      }
    }
  }

  std::function<void(MRRetrieveArtistInfoOperation&)> onCompletion;
  {
    std::lock_guard guard(mutex_);
    retrieve_.reset();
    onCompletion = onCompletion_;
  }
  if (onCompletion) onCompletion(*this);
}

}  // namespace mr
