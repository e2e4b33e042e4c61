// The songs of one release, as the iTunes Store lists them: every song
// with a preview becomes a track item that plays that preview.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Env.h"
#include "base/MutexProtected.h"
#include "base/Operation.h"
#include "external/MRLocatePreviewDataSourceOperation.h"
#include "model/MRPlaylistTrackItem.h"

namespace mr {

class MRBuildPlaylistFromNewReleaseOperation final : public Operation {
 public:
  MRBuildPlaylistFromNewReleaseOperation(const Env& env, MRPreviewSites sites,
                                         uint64_t subjectObjectID, std::string subjectArtist,
                                         std::string subjectTitle);
  void main() override;

  uint64_t subjectObjectID() const { return subjectObjectID_; }
  const std::string& subjectArtist() const { return subjectArtist_; }
  const std::string& subjectTitle() const { return subjectTitle_; }
  // The songs in the store's order; read them in onCompletion or after.
  std::vector<std::shared_ptr<MRNewReleaseMixTrackItem>> tracks() const { return tracks_.get(); }

  // Set them before the operation starts. The beginning block runs on the
  // main thread, with artist and title; onCompletion on the operation's
  // thread, at the end of its work in every case.
  void setBeginningBlock(std::function<void(const std::string&, const std::string&)> block) {
    beginningBlock_ = std::move(block);
  }
  void setOnCompletion(std::function<void(MRBuildPlaylistFromNewReleaseOperation&)> block) {
    onCompletion_ = std::move(block);
  }

  // The items of a lookup's entries: one per song with a preview, located
  // `now`; the collection's own entry and anything else is passed over.
  static std::vector<std::shared_ptr<MRNewReleaseMixTrackItem>> trackItemsFromEntries(
      const std::vector<iTunesEntry>& entries, Date now);

 private:
  const Env& env_;
  const MRPreviewSites sites_;
  const uint64_t subjectObjectID_;
  const std::string subjectArtist_;
  const std::string subjectTitle_;
  std::function<void(const std::string&, const std::string&)> beginningBlock_;
  std::function<void(MRBuildPlaylistFromNewReleaseOperation&)> onCompletion_;
  MutexProtected<std::vector<std::shared_ptr<MRNewReleaseMixTrackItem>>> tracks_;
};

}  // namespace mr
