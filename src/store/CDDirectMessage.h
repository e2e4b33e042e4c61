// Messages from artists and the listener's notifications, each kept with
// the whole document the service sent.
#pragma once

#include "model/MRMessageDocument.h"
#include "model/MRPushNotificationDocument.h"
#include "store/CDArtist.h"

namespace mr {

class CDDirectMessage final : public Record {
 public:
  enum Column { kMsgId, kMsgThreadId, kCreatedAt, kDocument, kArtist };
  static const EntityInfo& entityInfo();
  CDDirectMessage(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<int64_t> msgId() const { return integer(kMsgId); }
  void setMsgId(const std::optional<int64_t>& v) { set(kMsgId, toSql(v)); }
  std::optional<int64_t> msgThreadId() const { return integer(kMsgThreadId); }
  void setMsgThreadId(const std::optional<int64_t>& v) { set(kMsgThreadId, toSql(v)); }
  std::optional<Date> createdAt() const { return date(kCreatedAt); }
  void setCreatedAt(const std::optional<Date>& v) { set(kCreatedAt, toSql(v)); }
  std::optional<Bytes> document() const { return blob(kDocument); }
  void setDocument(const std::optional<Bytes>& v) { set(kDocument, toSql(v)); }
  // The sender.
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  void setArtist(const CDArtist* artist) { setToOne(kArtist, artist); }

  // Keeps the whole document and copies its key fields; the sender is the
  // stored artist with the document artist's waid.
  void assignWithDocument(const MRMessageDocument& message);
  std::optional<MRMessageDocument> getDocument() const;
};

class CDDirectMessageEntityController final : public CDTypedEntityController<CDDirectMessage> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  // Newest first, all of them older than `date`.
  std::vector<std::shared_ptr<CDDirectMessage>> findOlder(Date date, int64_t count) const;
  std::vector<std::shared_ptr<CDDirectMessage>> findFrom(int64_t offset, int64_t count) const;
  std::shared_ptr<CDDirectMessage> findWithMsgId(int32_t msgId) const;
  std::shared_ptr<CDDirectMessage> findNewestPostForWaid(const std::string& waid) const;
  std::vector<std::shared_ptr<CDDirectMessage>> findWithWaid(const std::string& waid) const;
};

class CDNotification final : public Record {
 public:
  enum Column { kNotifId, kCreatedAt, kRead, kType, kDocument };
  static const EntityInfo& entityInfo();
  CDNotification(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<int64_t> notifId() const { return integer(kNotifId); }
  void setNotifId(const std::optional<int64_t>& v) { set(kNotifId, toSql(v)); }
  std::optional<Date> createdAt() const { return date(kCreatedAt); }
  void setCreatedAt(const std::optional<Date>& v) { set(kCreatedAt, toSql(v)); }
  std::optional<bool> read() const { return boolean(kRead); }
  void setRead(const std::optional<bool>& v) { set(kRead, toSql(v)); }
  std::optional<std::string> type() const { return text(kType); }
  void setType(const std::optional<std::string>& v) { set(kType, toSql(v)); }
  std::optional<Bytes> document() const { return blob(kDocument); }
  void setDocument(const std::optional<Bytes>& v) { set(kDocument, toSql(v)); }

  void assignWithDocument(const MRPushNotificationDocument& notification);
  std::optional<MRPushNotificationDocument> getDocument() const;
};

class CDNotificationEntityController final : public CDTypedEntityController<CDNotification> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  std::shared_ptr<CDNotification> findWithNotifId(int32_t notifId) const;
  int64_t countUnread() const;
  // Newest first.
  std::vector<std::shared_ptr<CDNotification>> findAll() const;
  // Marks it read and saves.
  Status flagRead(int32_t notifId);
};

}  // namespace mr
