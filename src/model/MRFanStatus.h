// What a fan has done for an artist, counted per kind of activity.
//
// Each item maps a key to a value object: the key is the id of the object
// counted (a track id or an event id, as a decimal string) or "all" for the
// total. Each item kind answers with its own kind of value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/MRDocument.h"
#include "model/MRImageDocument.h"

namespace mr {

class MRFanStatusItemValue : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t value() const { return document_.intForKey("value", 0); }
};

class MRFanStatusItemPlaybackNumValue : public MRFanStatusItemValue {
 public:
  using MRFanStatusItemValue::MRFanStatusItemValue;

  std::optional<std::string> trackTitle() const { return document_.stringForKey("trackTitle"); }
  std::optional<std::string> artworkUrl() const { return document_.stringForKey("artworkUrl"); }
  std::optional<std::string> wtid() const { return document_.stringForKey("wtid"); }
};

class MRFanStatusItemParticipateEventNumValue : public MRFanStatusItemValue {
 public:
  using MRFanStatusItemValue::MRFanStatusItemValue;

  int32_t eventId() const { return document_.intForKey("eventId", 0); }
  std::optional<std::string> eventName() const { return document_.stringForKey("eventName"); }
  std::optional<MRImageDocument> flyer() const {
    return document_.documentForKey<MRImageDocument>("flyer");
  }
};

class MRFanStatusItemPurchaseNumValue : public MRFanStatusItemValue {
 public:
  using MRFanStatusItemValue::MRFanStatusItemValue;
};

class MRFanStatusItemCommunicateNumValue : public MRFanStatusItemValue {
 public:
  using MRFanStatusItemValue::MRFanStatusItemValue;
};

class MRFanStatusItem : public MRDocument {
 public:
  static constexpr std::string_view kAllKey = "all";

  using MRDocument::MRDocument;

  // Every key of the item, in the order of the answer.
  std::vector<std::string> keys() const;
  // nullopt when the key is absent or its value is not an object. Each
  // subclass hides these with the same getters answering its own value kind.
  std::optional<MRFanStatusItemValue> valueForKey(std::string_view key) const {
    return document_.documentForKey<MRFanStatusItemValue>(key);
  }
  std::optional<MRFanStatusItemValue> valueForAll() const { return valueForKey(kAllKey); }
};

class MRFanStatusItemPlaybackNum : public MRFanStatusItem {
 public:
  using MRFanStatusItem::MRFanStatusItem;

  std::optional<MRFanStatusItemPlaybackNumValue> valueForKey(std::string_view key) const {
    return document_.documentForKey<MRFanStatusItemPlaybackNumValue>(key);
  }
  std::optional<MRFanStatusItemPlaybackNumValue> valueForAll() const {
    return valueForKey(kAllKey);
  }
};

class MRFanStatusItemParticipateEventNum : public MRFanStatusItem {
 public:
  using MRFanStatusItem::MRFanStatusItem;

  std::optional<MRFanStatusItemParticipateEventNumValue> valueForKey(std::string_view key) const {
    return document_.documentForKey<MRFanStatusItemParticipateEventNumValue>(key);
  }
  std::optional<MRFanStatusItemParticipateEventNumValue> valueForAll() const {
    return valueForKey(kAllKey);
  }
  std::optional<MRFanStatusItemParticipateEventNumValue> valueForEventId(int32_t eventId) const {
    return valueForKey(std::to_string(eventId));
  }
  bool hasParticipatedToEventId(int32_t eventId) const {
    return valueForEventId(eventId).has_value();
  }
};

class MRFanStatusItemPurchaseNum : public MRFanStatusItem {
 public:
  using MRFanStatusItem::MRFanStatusItem;

  std::optional<MRFanStatusItemPurchaseNumValue> valueForKey(std::string_view key) const {
    return document_.documentForKey<MRFanStatusItemPurchaseNumValue>(key);
  }
  std::optional<MRFanStatusItemPurchaseNumValue> valueForAll() const {
    return valueForKey(kAllKey);
  }
};

class MRFanStatusItemCommunicateNum : public MRFanStatusItem {
 public:
  using MRFanStatusItem::MRFanStatusItem;

  std::optional<MRFanStatusItemCommunicateNumValue> valueForKey(std::string_view key) const {
    return document_.documentForKey<MRFanStatusItemCommunicateNumValue>(key);
  }
  std::optional<MRFanStatusItemCommunicateNumValue> valueForAll() const {
    return valueForKey(kAllKey);
  }
};

class MRFanStatus : public MRDocument {
 public:
  using MRDocument::MRDocument;

  std::optional<Date> createdAt() const { return document_.unixtimeForKey("createdAt"); }
  std::optional<MRFanStatusItemPlaybackNum> playbackNum() const {
    return document_.documentForKey<MRFanStatusItemPlaybackNum>("playbackNum");
  }
  std::optional<MRFanStatusItemParticipateEventNum> participateEventNum() const {
    return document_.documentForKey<MRFanStatusItemParticipateEventNum>("participateEventNum");
  }
  std::optional<MRFanStatusItemPurchaseNum> purchaseNum() const {
    return document_.documentForKey<MRFanStatusItemPurchaseNum>("purchaseNum");
  }
  std::optional<MRFanStatusItemCommunicateNum> communicateNum() const {
    return document_.documentForKey<MRFanStatusItemCommunicateNum>("communicateNum");
  }
};

}  // namespace mr
