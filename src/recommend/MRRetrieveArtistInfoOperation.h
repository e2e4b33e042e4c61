// Knowing an artist: its canonical name, image, biography and genre tags.
// Answered from the store when the artist is there; otherwise fetched from
// Last.fm with autocorrection, stored with its tags, and the name asked for
// recorded as a variant of it.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "base/HttpEngine.h"
#include "base/Operation.h"
#include "model/LastfmArtist.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

class MRRetrieveArtistInfoOperation final : public Operation {
 public:
  static constexpr int kDeadlineSeconds = 30;

  MRRetrieveArtistInfoOperation(MRRecommendParts parts, std::string subjectArtist,
                                std::optional<std::string> subjectWaid = std::nullopt);
  void main() override;
  // Also cancels the request in flight.
  void cancel() override;

  const std::string& subjectArtist() const { return subjectArtist_; }
  // Set when found; read them in onCompletion or after the operation. An
  // error when Last.fm could not be asked or did not answer in time (its
  // "not found" among them), none when the artist was found.
  std::optional<LastfmArtist> artistInfo() const;
  std::optional<Error> lastError() const;
  // Runs once at the end of main(), on the operation's thread.
  void setOnCompletion(std::function<void(MRRetrieveArtistInfoOperation&)> block);

  // Stores an artist Last.fm gave for `subjectArtist`: the stored artist of
  // that name or a new one with its tags, and `subjectArtist` as a variant
  // of it. Saved in a context of its own.
  static void storeArtist(Database& store, const LastfmArtist& artist,
                          const std::string& subjectArtist);

 private:
  struct Outcome;

  MRRecommendParts parts_;
  const std::string subjectArtist_;
  const std::optional<std::string> subjectWaid_;
  mutable std::mutex mutex_;
  std::optional<LastfmArtist> artistInfo_;
  std::optional<Error> lastError_;
  std::function<void(MRRetrieveArtistInfoOperation&)> onCompletion_;
  std::shared_ptr<HttpOperation> retrieve_;
};

}  // namespace mr
