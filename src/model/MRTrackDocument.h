// A track as the service knows it, with listeners' comments and the places
// its preview can be played from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MRDocument.h"
#include "model/MRPreviewDocument.h"
#include "model/MRTrackCommentDocument.h"

namespace mr {

class MRTrackDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::string artistName() const { return document_.stringForKey("artistName", ""); }
  std::string trackTitle() const { return document_.stringForKey("trackTitle", ""); }
  std::string artworkUrl() const { return document_.stringForKey("artworkUrl", ""); }
  // The service's track and artist ids.
  std::string wtid() const { return document_.stringForKey("wtid", ""); }
  std::string waid() const { return document_.stringForKey("waid", ""); }
  std::string trackViewUrl() const { return document_.stringForKey("trackViewUrl", ""); }
  bool removed() const { return document_.boolForKey("removed", false); }

  // nullopt when the answer has no comment list.
  std::optional<std::vector<MRTrackCommentDocument>> comments() const {
    return documentsForKey<MRTrackCommentDocument>("comments");
  }

  std::optional<MRSoundCloudPreviewDocument> previewOnSoundCloud() const {
    return document_.documentForKeyPath<MRSoundCloudPreviewDocument>("previews/soundcloud");
  }
  std::optional<MRITunesPreviewDocument> previewOnITunes() const {
    return document_.documentForKeyPath<MRITunesPreviewDocument>("previews/iTunes");
  }
  std::optional<MRYouTubePreviewDocument> previewOnYouTube() const {
    return document_.documentForKeyPath<MRYouTubePreviewDocument>("previews/youTube");
  }
};

}  // namespace mr
