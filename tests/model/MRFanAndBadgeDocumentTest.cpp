#include <gtest/gtest.h>

#include <variant>

#include "ModelTestSupport.h"
#include "model/MRBadgeDocument.h"
#include "model/MRFanDocument.h"
#include "model/MRFanStatus.h"
#include "model/MRRequisiteItem.h"

namespace mr {
namespace {

using test::json;
using test::seconds;

// ---------------------------------------------------------------------- fans

TEST(MRFanDocumentTest, ActiveUnlessTheServiceSaysOtherwise) {
  EXPECT_TRUE(MRFanDocument(json("{}")).active());
  EXPECT_TRUE(MRFanDocument(json(R"({"active": null})")).active());
  EXPECT_FALSE(MRFanDocument(json(R"({"active": 0})")).active());
  EXPECT_FALSE(MRFanDocument(json(R"({"active": "0"})")).active());
  EXPECT_TRUE(MRFanDocument(Value("x")).active());
}

TEST(MRFanDocumentTest, BadgesAndStatusItemsByKey) {
  MRFanDocument fan(json(R"({
      "membershipContractId": "4001",
      "badges": [{"badgeId": 1, "name": "First play"}, "x", {"badgeId": "2"}],
      "status": {
        "createdAt": 1600000000,
        "playbackNum": {"all": {"value": 25},
                        "t100": {"value": "20", "trackTitle": "Believe", "wtid": "t100"},
                        "t101": "broken"},
        "participateEventNum": {"12": {"value": 1, "eventId": 12, "eventName": "Live",
                                       "flyer": {"imageLarge": "flyer.png"}}},
        "communicateNum": {"all": {"value": 9}}}})"));
  EXPECT_EQ(fan.membershipContractId(), 4001);
  const auto badges = fan.badges();
  ASSERT_TRUE(badges.has_value());
  ASSERT_EQ(badges->size(), 2u);
  EXPECT_EQ((*badges)[1].badgeId(), 2);
  EXPECT_FALSE((*badges)[1].name().has_value());

  const auto status = fan.status();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->createdAt(), seconds(1600000000));
  const auto playback = status->playbackNum();
  ASSERT_TRUE(playback.has_value());
  EXPECT_EQ(playback->keys(), (std::vector<std::string>{"all", "t100", "t101"}));
  EXPECT_EQ(playback->valueForAll()->value(), 25);
  EXPECT_EQ(playback->valueForKey("t100")->trackTitle(), "Believe");
  EXPECT_FALSE(playback->valueForKey("t101").has_value());
  EXPECT_FALSE(playback->valueForKey("t999").has_value());
  // The plain item reads the same values without the kind's extras.
  EXPECT_EQ(static_cast<const MRFanStatusItem&>(*playback).valueForKey("t100")->value(), 20);

  const auto events = status->participateEventNum();
  ASSERT_TRUE(events.has_value());
  EXPECT_TRUE(events->hasParticipatedToEventId(12));
  EXPECT_FALSE(events->hasParticipatedToEventId(13));
  EXPECT_EQ(events->valueForEventId(12)->flyer()->imageLargest(), "flyer.png");
  EXPECT_EQ(status->communicateNum()->valueForAll()->value(), 9);
  EXPECT_FALSE(status->purchaseNum().has_value());
}

TEST(MRFanDocumentTest, MissingLists) {
  EXPECT_FALSE(MRFanDocument(json(R"({"badges": {"badgeId": 1}})")).badges().has_value());
  EXPECT_TRUE(MRFanDocument(json(R"({"badges": []})")).badges()->empty());
  EXPECT_TRUE(MRFanStatusItem(Value(3)).keys().empty());
}

// -------------------------------------------------------------------- badges

TEST(MRBadgeDocumentTest, GrantPeriod) {
  const auto finite =
      MRBadgeDocument(json(R"({"grantAt": {"from": 100, "until": 200}})")).grantAt();
  ASSERT_TRUE(finite.has_value());
  EXPECT_FALSE(finite->isInfinite());
  EXPECT_EQ(finite->beginDate(), seconds(100));
  EXPECT_EQ(finite->endDate(), seconds(200));

  const auto open = MRBadgeDocument(json(R"({"grantAt": {"from": "100"}})")).grantAt();
  ASSERT_TRUE(open.has_value());
  EXPECT_FALSE(open->isInfinite());
  EXPECT_EQ(open->beginDate(), seconds(100));
  EXPECT_FALSE(open->endDate().has_value());

  for (const char* unlimited : {R"({"grantAt": true})", R"({"grantAt": "always"})"}) {
    const auto grant = MRBadgeDocument(json(unlimited)).grantAt();
    ASSERT_TRUE(grant.has_value()) << unlimited;
    EXPECT_TRUE(grant->isInfinite());
    EXPECT_FALSE(grant->beginDate().has_value());
    EXPECT_FALSE(grant->endDate().has_value());
  }

  EXPECT_FALSE(MRBadgeDocument(json(R"({"grantAt": null})")).grantAt().has_value());
  EXPECT_FALSE(MRBadgeDocument(json("{}")).grantAt().has_value());
}

TEST(MRBadgeDocumentTest, RequirementsWrapEveryEntryWithTheInfoOfTheirType) {
  MRBadgeDocument badge(json(R"({
      "badgeId": 31, "stock": 100, "currentStock": "37",
      "requisiteItems": [
        {"type": "playbackNum", "object": "t100", "condition": {"countThreshold": 50},
         "track": {"wtid": "t100", "trackTitle": "Believe"}},
        "unknown",
        {"type": "participateEventNum", "object": "12", "event": {"eventId": "12", "name": "Live"}},
        {"type": "purchaseNum", "object": "all", "condition": {"countThreshold": "3"}}]})"));
  EXPECT_EQ(badge.currentStock(), 37);
  const auto items = badge.requisteItems();
  ASSERT_TRUE(items.has_value());
  ASSERT_EQ(items->size(), 4u);

  const MRRequisiteItem& playback = (*items)[0];
  EXPECT_EQ(playback.type(), MRRequisiteItem::kTypePlaybackNum);
  EXPECT_EQ(playback.object(), "t100");
  EXPECT_FALSE(playback.isAllObject());
  EXPECT_EQ(playback.condition()->countThreshold(), 50);
  const auto trackInfo = playback.getAdditionalInfo();
  ASSERT_TRUE(trackInfo.has_value());
  ASSERT_TRUE(std::holds_alternative<MRRequisiteItemTrackInfo>(*trackInfo));
  EXPECT_EQ(std::get<MRRequisiteItemTrackInfo>(*trackInfo).trackTitle(), "Believe");

  EXPECT_FALSE((*items)[1].hasDictionary());
  EXPECT_EQ((*items)[1].type(), MRRequisiteItem::kTypeUnknown);
  EXPECT_FALSE((*items)[1].getAdditionalInfo().has_value());

  const auto eventInfo = (*items)[2].getAdditionalInfo();
  ASSERT_TRUE(eventInfo.has_value());
  ASSERT_TRUE(std::holds_alternative<MRRequisiteItemEventInfo>(*eventInfo));
  EXPECT_EQ(std::get<MRRequisiteItemEventInfo>(*eventInfo).eventId(), 12);

  const MRRequisiteItem& purchase = (*items)[3];
  EXPECT_EQ(purchase.type(), 3);
  EXPECT_TRUE(purchase.isAllObject());
  EXPECT_EQ(purchase.condition()->countThreshold(), 3);
  EXPECT_FALSE(purchase.getAdditionalInfo().has_value());
  EXPECT_FALSE(MRBadgeDocument(json("{}")).requisteItems().has_value());
}

TEST(MRRequisiteItemTest, TypeCodesAndAdditionalInfo) {
  EXPECT_EQ(MRRequisiteItem(json(R"({"type": "communicateNum"})")).type(), 4);
  EXPECT_EQ(MRRequisiteItem(json(R"({"type": "PlaybackNum"})")).type(), 0);
  EXPECT_EQ(MRRequisiteItem(json(R"({"type": 1})")).type(), 0);
  EXPECT_FALSE(MRRequisiteItem(json("{}")).isAllObject());
  EXPECT_FALSE(MRRequisiteItem(json("{}")).condition().has_value());
  // The info must be an object, and belong to the item's type.
  EXPECT_FALSE(MRRequisiteItem(json(R"({"type": "playbackNum", "track": "t100"})"))
                   .getAdditionalInfo()
                   .has_value());
  EXPECT_FALSE(MRRequisiteItem(json(R"({"type": "playbackNum", "event": {"eventId": 1}})"))
                   .getAdditionalInfo()
                   .has_value());
  EXPECT_FALSE(MRRequisiteItem(json(R"({"type": "purchaseNum", "track": {"wtid": "t1"}})"))
                   .getAdditionalInfo()
                   .has_value());
}

}  // namespace
}  // namespace mr
