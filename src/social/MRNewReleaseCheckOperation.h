// The daily look for new albums of the library's artists in the iTunes
// Store catalogue. Each artist is looked up at most once a day; an album is
// stored once, whatever its release date (the new-release mix picks the
// recent ones).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MRServiceOperation.h"
#include "base/MutexProtected.h"
#include "base/OperationQueue.h"
#include "external/iTunesSearchAPI.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

class MRRetrieveArtistInfoOperation;

// One artist: searched, its albums looked up and stored, its check recorded.
class MRNewReleaseCheckForArtistOperation final : public Operation {
 public:
  static constexpr double kSearchTimeoutSeconds = 60;
  static constexpr double kLookupTimeoutSeconds = 30;

  MRNewReleaseCheckForArtistOperation(MRRecommendParts parts, std::string artist);

  void main() override;
  // Also cancels the lookup and the artist retrieval in flight.
  void cancel() override;

  const std::string& subjectArtist() const { return subjectArtist_; }
  // Called on the operation's thread when its work begins.
  void setBeginningBlock(std::function<void(MRNewReleaseCheckForArtistOperation&)> block) {
    beginningBlock_ = std::move(block);
  }

  // The artist's albums, or none when the lookup failed or timed out.
  std::optional<std::vector<iTunesEntry>> lookUpAlbumsForEntry(const iTunesEntry& entry);
  // Stores the collections not stored yet under the same title and artist.
  void storeItems(const std::vector<iTunesEntry>& entries);

  // After main(): the search answered (found or not) in time, so the
  // history was brought up to date.
  bool searched() const { return searched_.get(); }

 private:
  std::optional<std::string> countryCode() const;
  void setInFlight(std::function<void()> cancelIt, bool retrieval);

  MRRecommendParts parts_;
  const std::string subjectArtist_;
  std::function<void(MRNewReleaseCheckForArtistOperation&)> beginningBlock_;
  // How to cancel the album lookup (op_lookup) and the artist retrieval
  // (op_retrieve) while they run.
  MutexProtected<std::function<void()>> opLookup_;
  MutexProtected<std::function<void()>> opRetrieve_;
  MutexProtected<bool> searched_{false};
};

// The whole check: every artist of the library, one at a time.
class MRNewReleaseCheckOperation final : public MRServiceOperation {
 public:
  // How the per-artist queue is paced while it is full.
  static constexpr double kPollSeconds = 5;
  static constexpr double kHistorySeconds = 86400;

  // `artists` stands in for the library's artists (tests); by default the
  // library the settings name is read.
  using ArtistSource = std::function<Result<std::vector<std::string>>()>;
  explicit MRNewReleaseCheckOperation(MRRecommendParts parts, ArtistSource artists = nullptr);

  void main() override;
  void cancel() override;

  // The library's artists, or none with lastError() set.
  std::optional<std::vector<std::string>> retrieveArtistList();
  std::string processingArtistName() const { return processing_.get(); }
  // How many artists were handed to a per-artist operation in the last run.
  size_t artistsLookedUp() const { return lookedUp_.get(); }

 private:
  MRRecommendParts parts_;
  ArtistSource artists_;
  std::shared_ptr<OperationQueue> checkQueue_;
  MutexProtected<std::string> processing_;
  MutexProtected<size_t> lookedUp_{0};
};

}  // namespace mr
