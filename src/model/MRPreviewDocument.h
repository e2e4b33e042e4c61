// Where the service has seen a preview of a track. Each kind names the
// member that locates the preview; the whole dictionary stays available
// through document().
#pragma once

#include <optional>
#include <string>

#include "model/MRDocument.h"

namespace mr {

class MRPreviewDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;
};

class MRSoundCloudPreviewDocument : public MRPreviewDocument {
 public:
  using MRPreviewDocument::MRPreviewDocument;

  std::optional<std::string> streamUrl() const { return document_.stringForKey("stream_url"); }
};

class MRYouTubePreviewDocument : public MRPreviewDocument {
 public:
  using MRPreviewDocument::MRPreviewDocument;

  std::optional<std::string> videoId() const { return document_.stringForKey("videoId"); }
};

class MRITunesPreviewDocument : public MRPreviewDocument {
 public:
  using MRPreviewDocument::MRPreviewDocument;

  std::optional<std::string> audioUrl() const { return document_.stringForKey("audioUrl"); }
};

}  // namespace mr
