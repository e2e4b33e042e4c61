// Records the artist of a recommended track as a recommended artist, after
// making sure the artist is known (stored, with its tags).
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "recommend/MRRetrieveArtistInfoOperation.h"

namespace mr {

class MRRecommendArtistOperation final : public Operation {
 public:
  MRRecommendArtistOperation(MRRecommendParts parts, std::string subjectArtist,
                             std::string sourceArtist);
  void main() override;
  // Also cancels the artist lookup.
  void cancel() override;

  const std::string& subjectArtist() const { return subjectArtist_; }
  const std::string& sourceArtist() const { return sourceArtist_; }
  // The artist hash of the canonical name, once the artist is known.
  std::optional<std::string> artistItemHash() const;
  // Why the artist could not be looked up, when it could not.
  std::optional<Error> lastError() const;

 private:
  MRRecommendParts parts_;
  const std::string subjectArtist_;
  const std::string sourceArtist_;
  mutable std::mutex mutex_;
  std::optional<std::string> artistItemHash_;
  std::optional<Error> lastError_;
  std::shared_ptr<MRRetrieveArtistInfoOperation> inner_;
};

}  // namespace mr
