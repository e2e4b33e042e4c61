// One requirement of a badge: reach `countThreshold` in the fan-status item
// named by the type ("playbackNum", ...), under the key `object` ("all" for
// the total). The client only shows requirements; the service checks them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "model/MRDocument.h"

namespace mr {

class MRRequisiteItemCondition : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t countThreshold() const { return document_.intForKey("countThreshold", 0); }
};

// The track a playback requirement is about.
class MRRequisiteItemTrackInfo : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<std::string> wtid() const { return document_.stringForKey("wtid"); }
  std::optional<std::string> trackTitle() const { return document_.stringForKey("trackTitle"); }
  std::optional<std::string> artworkUrl() const { return document_.stringForKey("artworkUrl"); }
};

// The event a participation requirement is about.
class MRRequisiteItemEventInfo : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t eventId() const { return document_.intForKey("eventId", 0); }
  std::optional<std::string> name() const { return document_.stringForKey("name"); }
};

using MRRequisiteItemAdditionalInfo =
    std::variant<MRRequisiteItemTrackInfo, MRRequisiteItemEventInfo>;

class MRRequisiteItem : public MRDocument {
 public:
  // The codes of `type()`.
  static constexpr int32_t kTypeUnknown = 0;
  static constexpr int32_t kTypePlaybackNum = 1;
  static constexpr int32_t kTypeParticipateEventNum = 2;
  static constexpr int32_t kTypePurchaseNum = 3;
  static constexpr int32_t kTypeCommunicateNum = 4;

  using MRDocument::MRDocument;

  // The code of the "type" member; kTypeUnknown for a type this client does
  // not know.
  int32_t type() const;
  // The id of the object the requirement is about, or "all".
  std::optional<std::string> object() const { return document_.stringForKey("object"); }
  bool isAllObject() const { return object() == "all"; }
  std::optional<MRRequisiteItemCondition> condition() const {
    return document_.documentForKey<MRRequisiteItemCondition>("condition");
  }
  // The "track" of a playback requirement or the "event" of a participation
  // requirement; nullopt for the other types or when the member is not an
  // object.
  std::optional<MRRequisiteItemAdditionalInfo> getAdditionalInfo() const;
};

}  // namespace mr
