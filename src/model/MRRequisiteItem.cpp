#include "model/MRRequisiteItem.h"

#include <string_view>

namespace mr {

int32_t MRRequisiteItem::type() const {
  const std::optional<std::string> name = document_.stringForKey("type");
  if (!name) return kTypeUnknown;
  if (*name == "playbackNum") return kTypePlaybackNum;
  if (*name == "participateEventNum") return kTypeParticipateEventNum;
  if (*name == "purchaseNum") return kTypePurchaseNum;
  if (*name == "communicateNum") return kTypeCommunicateNum;
  return kTypeUnknown;
}

std::optional<MRRequisiteItemAdditionalInfo> MRRequisiteItem::getAdditionalInfo() const {
  switch (type()) {
    case kTypePlaybackNum:
      if (auto track = document_.documentForKey<MRRequisiteItemTrackInfo>("track")) return *track;
      return std::nullopt;
    case kTypeParticipateEventNum:
      if (auto event = document_.documentForKey<MRRequisiteItemEventInfo>("event")) return *event;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace mr
