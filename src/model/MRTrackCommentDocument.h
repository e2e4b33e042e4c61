// A listener's comment on a track.
#pragma once

#include <optional>
#include <string>

#include "model/MRDocument.h"
#include "model/MRListenerProfileDocument.h"

namespace mr {

class MRTrackCommentDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::string comment() const { return document_.stringForKey("comment", ""); }
  // The epoch when the member is missing.
  Date createdAt() const { return dateFromIntForKey("createdAt"); }
  bool removed() const { return document_.boolForKey("removed", false); }
  std::optional<MRListenerProfileDocument> createdBy() const {
    return document_.documentForKey<MRListenerProfileDocument>("createdBy");
  }
};

}  // namespace mr
