// A direct message between an artist and a fan, and the audiences it is
// shown to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRArtistSummaryDocument.h"
#include "model/MRDocument.h"
#include "model/MRListenerProfileDocument.h"

namespace mr {

class MRDisplayToBadgeDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t badgeId() const { return document_.intForKey("badgeId", 0); }
  std::optional<std::string> name() const { return document_.stringForKey("name"); }
};

class MRDisplayToDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  // nullopt when the member is not a list.
  std::optional<std::vector<MRDisplayToBadgeDocument>> badges() const {
    return documentsForKey<MRDisplayToBadgeDocument>("badges");
  }
};

class MRMessageDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t msgId() const { return document_.intForKey("msgId", 0); }
  int32_t msgThreadId() const { return document_.intForKey("msgThreadId", 0); }
  std::optional<Date> createdAt() const { return document_.unixtimeForKey("createdAt"); }
  std::optional<std::string> text() const { return document_.stringForKey("text"); }
  std::optional<std::string> sender() const { return document_.stringForKey("sender"); }
  std::optional<MRArtistSummaryDocument> artist() const {
    return document_.documentForKey<MRArtistSummaryDocument>("artist");
  }
  std::optional<MRListenerProfileSummaryDocument> fan() const {
    return document_.documentForKey<MRListenerProfileSummaryDocument>("fan");
  }
  // One entry per member of the list, objects or not; nullopt when there is
  // no list.
  std::optional<std::vector<MRDisplayToDocument>> displayTo() const {
    return documentsWrappingEveryMemberForKey<MRDisplayToDocument>("displayTo");
  }
};

}  // namespace mr
