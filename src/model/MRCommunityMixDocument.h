// Mixes that listeners put together for each other, and the tracks in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRArtistDocument.h"
#include "model/MRDocument.h"
#include "model/MRListenerProfileDocument.h"
#include "model/MRTrackDocument.h"

namespace mr {

class MRCommunityMixDocument;

// A track as placed in a mix, with the listener's note on it.
class MRCommunityMixTrackDocument : public MRTrackDocument {
 public:
  using MRTrackDocument::MRTrackDocument;

  int32_t mixTrackId() const { return document_.intForKey("mixTrackId", 0); }
  std::string description() const { return document_.stringForKey("description", ""); }
  // The epoch when the member is missing.
  Date createdAt() const { return dateFromIntForKey("createdAt"); }
  std::optional<MRCommunityMixDocument> mix() const;
  std::optional<MRArtistDocument> artist() const {
    return document_.documentForKey<MRArtistDocument>("artist");
  }
  std::optional<MRListenerProfileDocument> createdBy() const {
    return document_.documentForKey<MRListenerProfileDocument>("createdBy");
  }
  // nullopt when the answer has no list of listeners.
  std::optional<std::vector<MRListenerProfileDocument>> favoritedUsers() const {
    return documentsForKey<MRListenerProfileDocument>("favoritedUsers");
  }
};

// A mix stands on its own rather than being an MRDocument (nothing takes a
// mix where a document is expected), but keeps and reads its dictionary the
// same way.
class MRCommunityMixDocument : private MRDocument {
 public:
  using MRDocument::document;
  using MRDocument::hasDictionary;
  using MRDocument::MRDocument;

  std::string mixTitle() const { return document_.stringForKey("mixTitle", ""); }
  std::string description() const { return document_.stringForKey("description", ""); }
  std::optional<std::string> jacketUrl() const { return document_.stringForKey("jacketUrl"); }
  // The epoch when the member is missing.
  Date createdAt() const { return dateFromIntForKey("createdAt"); }
  bool removed() const { return document_.boolForKey("removed", false); }
  std::optional<MRListenerProfileDocument> createdBy() const {
    return document_.documentForKey<MRListenerProfileDocument>("createdBy");
  }
  // nullopt when the answer has no track list.
  std::optional<std::vector<MRCommunityMixTrackDocument>> tracks() const {
    return documentsForKey<MRCommunityMixTrackDocument>("tracks");
  }
};

}  // namespace mr
