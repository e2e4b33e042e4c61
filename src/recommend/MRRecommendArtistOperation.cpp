#include "recommend/MRRecommendArtistOperation.h"

#include "base/Log.h"
#include "base/ThreadPool.h"
#include "store/CDArtist.h"
#include "model/CDUtility.h"

namespace mr {

MRRecommendArtistOperation::MRRecommendArtistOperation(MRRecommendParts parts,
                                                       std::string subjectArtist,
                                                       std::string sourceArtist)
    : parts_(std::move(parts)),
      subjectArtist_(std::move(subjectArtist)),
      sourceArtist_(std::move(sourceArtist)) {}

std::optional<std::string> MRRecommendArtistOperation::artistItemHash() const {
  std::lock_guard guard(mutex_);
  return artistItemHash_;
}

std::optional<Error> MRRecommendArtistOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

void MRRecommendArtistOperation::cancel() {
  Operation::cancel();
  std::shared_ptr<MRRetrieveArtistInfoOperation> inner;
  {
    std::lock_guard guard(mutex_);
    inner = inner_;
  }
  if (inner) inner->cancel();
}

void MRRecommendArtistOperation::main() {
  auto inner = std::make_shared<MRRetrieveArtistInfoOperation>(parts_, subjectArtist_);
  {
    std::lock_guard guard(mutex_);
    inner_ = inner;
  }
  if (isCancelled()) inner->cancel();
  inner->start();
  setCurrentThreadName(className() + "::main");

  const auto artist = inner->artistInfo();
  if (!inner->isCancelled() && artist && parts_.store) {
    auto context = parts_.store->newContext();
    CDArtistEntityController artists(context);
    CDRecommendArtistEntityController recommendArtists(context);
    (void)context->beginWriting();  // one record per artist across seeds
    if (auto record = artists.findWithArtistName(artist->name)) {
      const std::string hash = CDUtility::artistItemHashWithArtist(artist->name);
      {
        std::lock_guard guard(mutex_);
        artistItemHash_ = hash;
      }
      if (!recommendArtists.findWithItemHash(hash)) {
        if (auto recommended = recommendArtists.insertNewObject()) {
          recommended->setSourceArtist(sourceArtist_);
          recommended->setItemHash(hash);
          recommended->setArtist(record.get());
          if (Status saved = recommendArtists.save(); !saved.ok())
            log::warning("Cannot store the recommended artist {}: {}", artist->name,
                         saved.error().toString());
        }
      }
    }
  }
  std::lock_guard guard(mutex_);
  lastError_ = inner->lastError();
  inner_.reset();
}

}  // namespace mr
