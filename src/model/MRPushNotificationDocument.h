// A notification the service pushed to the listener: a new message or a
// badge.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/MRBadgeDocument.h"
#include "model/MRDocument.h"
#include "model/MRMessageDocument.h"

namespace mr {

class MRPushNotificationDocument : public MRDocument {
 public:
  static constexpr const char* kTypeMessage = "message";
  static constexpr const char* kTypeBadge = "badge";

  using MRDocument::MRDocument;

  int32_t notifId() const { return document_.intForKey("notifId", 0); }
  int32_t aid() const { return document_.intForKey("aid", 0); }
  std::optional<Date> createdAt() const { return document_.unixtimeForKey("createdAt"); }
  // kTypeMessage or kTypeBadge.
  std::optional<std::string> type() const { return document_.stringForKey("type"); }
  bool read() const { return document_.boolForKey("read", false); }
  bool notified() const { return document_.boolForKey("notified", false); }
  std::optional<MRMessageDocument> message() const {
    return document_.documentForKey<MRMessageDocument>("message");
  }
  std::optional<MRBadgeDocument> badge() const {
    return document_.documentForKey<MRBadgeDocument>("badge");
  }
};

}  // namespace mr
