#include "store/CDDirectMessage.h"

#include "base/Json.h"

namespace mr {
namespace {

std::optional<Value> unarchivedDictionary(const std::optional<Bytes>& blob) {
  if (!blob) return std::nullopt;
  auto value = unarchiveValue(*blob);
  if (!value.ok() || !value->isDictionary()) return std::nullopt;
  return std::move(*value);
}

}  // namespace

const EntityInfo& CDDirectMessage::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("DirectMessage", {{"msgId", ColumnKind::Integer},
                                                 {"msgThreadId", ColumnKind::Integer},
                                                 {"createdAt", ColumnKind::Date},
                                                 {"document", ColumnKind::Blob},
                                                 {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

void CDDirectMessage::assignWithDocument(const MRMessageDocument& message) {
  setDocument(archiveValue(message.document()));
  setCreatedAt(message.createdAt());
  setMsgId(int64_t{message.msgId()});
  setMsgThreadId(int64_t{message.msgThreadId()});
  std::shared_ptr<CDArtist> sender;
  if (auto artist = message.artist(); artist && context()) {
    sender = CDArtistEntityController(context()).findWithWaid(artist->waid());
  }
  setArtist(sender.get());
}

std::optional<MRMessageDocument> CDDirectMessage::getDocument() const {
  auto dictionary = unarchivedDictionary(document());
  if (!dictionary) return std::nullopt;
  return MRMessageDocument(*dictionary);
}

std::vector<std::shared_ptr<CDDirectMessage>> CDDirectMessageEntityController::findOlder(
    Date date, int64_t count) const {
  return findWhere("\"createdAt\" < ?", {date.secondsSince1970}, "\"createdAt\" DESC", count);
}

std::vector<std::shared_ptr<CDDirectMessage>> CDDirectMessageEntityController::findFrom(
    int64_t offset, int64_t count) const {
  return findWhere({}, {}, "\"createdAt\" DESC", count, offset);
}

std::shared_ptr<CDDirectMessage> CDDirectMessageEntityController::findWithMsgId(
    int32_t msgId) const {
  return findOneWhere("\"msgId\" = ?", {int64_t{msgId}});
}

std::shared_ptr<CDDirectMessage> CDDirectMessageEntityController::findNewestPostForWaid(
    const std::string& waid) const {
  return findOneWhere("\"artist\" IN (SELECT \"id\" FROM \"Artist\" WHERE \"waid\" = ?)", {waid},
                      "\"createdAt\" DESC");
}

std::vector<std::shared_ptr<CDDirectMessage>> CDDirectMessageEntityController::findWithWaid(
    const std::string& waid) const {
  return findWhere("\"artist\" IN (SELECT \"id\" FROM \"Artist\" WHERE \"waid\" = ?)", {waid},
                   "\"createdAt\" DESC");
}

const EntityInfo& CDNotification::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("Notification", {{"notifId", ColumnKind::Integer},
                                                {"createdAt", ColumnKind::Date},
                                                {"read", ColumnKind::Bool},
                                                {"type", ColumnKind::Text},
                                                {"document", ColumnKind::Blob}});
  return info;
}

void CDNotification::assignWithDocument(const MRPushNotificationDocument& notification) {
  setDocument(archiveValue(notification.document()));
  setCreatedAt(notification.createdAt());
  setNotifId(int64_t{notification.notifId()});
  setRead(notification.read());
  setType(notification.type());
}

std::optional<MRPushNotificationDocument> CDNotification::getDocument() const {
  auto dictionary = unarchivedDictionary(document());
  if (!dictionary) return std::nullopt;
  return MRPushNotificationDocument(*dictionary);
}

std::shared_ptr<CDNotification> CDNotificationEntityController::findWithNotifId(
    int32_t notifId) const {
  return findOneWhere("\"notifId\" = ?", {int64_t{notifId}});
}

int64_t CDNotificationEntityController::countUnread() const {
  return countWhere("\"read\" = 0", {});
}

std::vector<std::shared_ptr<CDNotification>> CDNotificationEntityController::findAll() const {
  return findWhere({}, {}, "\"createdAt\" DESC");
}

Status CDNotificationEntityController::flagRead(int32_t notifId) {
  auto notification = findWithNotifId(notifId);
  if (!notification) return {};
  notification->setRead(true);
  return save();
}

}  // namespace mr
