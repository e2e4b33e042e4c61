// A badge an artist offers to fans, with what it takes to unlock it and the
// period in which it is granted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRArtistSummaryDocument.h"
#include "model/MRDocument.h"
#include "model/MRRequisiteItem.h"

namespace mr {

// The period in which a badge is granted. The service sends a non-object
// (such as true) for a badge granted without limit: such a grant has no
// dictionary and is infinite.
class MRGrantAt : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<Date> beginDate() const { return document_.unixtimeForKey("from"); }
  std::optional<Date> endDate() const { return document_.unixtimeForKey("until"); }
  bool isInfinite() const { return !hasDictionary(); }
};

class MRBadgeDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t badgeId() const { return document_.intForKey("badgeId", 0); }
  std::optional<Date> createdAt() const { return document_.unixtimeForKey("createdAt"); }
  std::optional<std::string> name() const { return document_.stringForKey("name"); }
  std::optional<std::string> description() const { return document_.stringForKey("description"); }
  std::optional<MRArtistSummaryDocument> artist() const {
    return document_.documentForKey<MRArtistSummaryDocument>("artist");
  }
  // How many can be granted, and how many are left.
  int32_t stock() const { return document_.intForKey("stock", 0); }
  int32_t currentStock() const { return document_.intForKey("currentStock", 0); }
  // The "requisiteItems" member (the getter keeps its established spelling).
  // Every member becomes an item, in order, so that positions match the
  // answer; nullopt when there is no list.
  std::optional<std::vector<MRRequisiteItem>> requisteItems() const {
    return documentsWrappingEveryMemberForKey<MRRequisiteItem>("requisiteItems");
  }
  // nullopt when the member is absent or null; see MRGrantAt for the rest.
  std::optional<MRGrantAt> grantAt() const;
};

}  // namespace mr
