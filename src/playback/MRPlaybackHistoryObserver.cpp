#include "playback/MRPlaybackHistoryObserver.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "base/Log.h"
#include "base/ThreadPool.h"
#include "model/CDUtility.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDRecommendTrack.h"

namespace mr {
namespace {

SharedInstance<MRPlaybackHistoryObserver>& shared() {
  static SharedInstance<MRPlaybackHistoryObserver> instance;
  return instance;
}

std::shared_ptr<MRTrackPlayer> trackPlayerIn(const Notification& notification) {
  auto found = notification.userInfo.find(MRPlaylistPlayerTrackPlayerKey);
  if (found == notification.userInfo.end()) return nullptr;
  const auto* player = std::any_cast<std::shared_ptr<MRTrackPlayer>>(&found->second);
  return player != nullptr ? *player : nullptr;
}

}  // namespace

std::shared_ptr<MRPlaybackHistoryObserver> MRPlaybackHistoryObserver::create(Parts parts) {
  std::shared_ptr<MRPlaybackHistoryObserver> observer(
      new MRPlaybackHistoryObserver(std::move(parts)));
  observer->start();
  return observer;
}

std::shared_ptr<MRPlaybackHistoryObserver> MRPlaybackHistoryObserver::sharedObserver() {
  return shared().get([] { return std::shared_ptr<MRPlaybackHistoryObserver>(); });
}

std::shared_ptr<MRPlaybackHistoryObserver> MRPlaybackHistoryObserver::sharedObserver(
    const Parts& parts) {
  return shared().get([&parts] { return create(parts); });
}

void MRPlaybackHistoryObserver::setSharedObserver(
    std::shared_ptr<MRPlaybackHistoryObserver> observer) {
  shared().replace(std::move(observer));
}

void MRPlaybackHistoryObserver::start() {
  if (!parts_.notifications) return;
  std::weak_ptr<MRPlaybackHistoryObserver> weak = weak_from_this();
  using Handler = void (MRPlaybackHistoryObserver::*)(const Notification&);
  const std::pair<const char*, Handler> handlers[] = {
      {MRTrackPlayerDidPlayTrackNotification, &MRPlaybackHistoryObserver::trackPlayerDidPlayTrack},
      {MRTrackPlayerDidStopTrackNotification, &MRPlaybackHistoryObserver::trackPlayerDidStopTrack},
      {MRPlaylistPlayerForwardNotification, &MRPlaybackHistoryObserver::playlistPlayerDidForward},
      {MRPlaylistPlayerRewindNotification, &MRPlaybackHistoryObserver::playlistPlayerDidRewind},
      {MRPlaylistPlayerBackwardNotification, &MRPlaybackHistoryObserver::playlistPlayerDidBackward},
  };
  for (const auto& entry : handlers) {
    const Handler handler = entry.second;
    tokens_.push_back(
        parts_.notifications->addObserver(entry.first, [weak, handler](const Notification& notice) {
          if (auto self = weak.lock()) ((*self).*handler)(notice);
        }));
  }
}

MRPlaybackHistoryObserver::~MRPlaybackHistoryObserver() {
  if (!parts_.notifications) return;
  for (auto token : tokens_)
    parts_.notifications->removeObserver(token);
}

std::shared_ptr<MRPlaylistPlayer> MRPlaybackHistoryObserver::playlistPlayer() const {
  return parts_.playlistPlayer ? parts_.playlistPlayer() : MRPlaylistPlayer::sharedPlaylistPlayer();
}

std::string MRPlaybackHistoryObserver::playlistName(const MRPlaylist& playlist) {
  const char* mangled = typeid(playlist).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

// ---------------------------------------------------------------- notices

void MRPlaybackHistoryObserver::trackPlayerDidPlayTrack(const Notification& notification) {
  auto trackPlayer = notification.objectAs<MRTrackPlayer>();
  if (!trackPlayer || !trackPlayer->trackItem() || !parts_.recommend.env) return;
  // The mix the track was started from, read while it is still attached.
  std::shared_ptr<MRPlaylist> playlist;
  if (auto player = playlistPlayer()) playlist = player->playlist();
  auto self = shared_from_this();
  parts_.recommend.env->background().post(
      [self, item = trackPlayer->trackItem(), playlist] { self->recordPlayback(item, playlist); });
}

void MRPlaybackHistoryObserver::trackPlayerDidStopTrack(const Notification& /*notification*/) {}

void MRPlaybackHistoryObserver::playlistPlayerDidForward(const Notification& notification) {
  logPlaylistEvent("forward", notification);
}

void MRPlaybackHistoryObserver::playlistPlayerDidRewind(const Notification& notification) {
  logPlaylistEvent("rewind", notification);
}

void MRPlaybackHistoryObserver::playlistPlayerDidBackward(const Notification& notification) {
  logPlaylistEvent("backward", notification);
}

void MRPlaybackHistoryObserver::logPlaylistEvent(const std::string& event,
                                                 const Notification& notification) const {
  auto player = notification.objectAs<MRPlaylistPlayer>();
  auto trackPlayer = trackPlayerIn(notification);
  logEvent(event, player ? player->playlist() : nullptr,
           trackPlayer ? trackPlayer->trackItem() : nullptr);
}

void MRPlaybackHistoryObserver::logEvent(
    const std::string& event, const std::shared_ptr<MRPlaylist>& playlist,
    const std::shared_ptr<MRPlaylistTrackItem>& trackItem) const {
  log::debug("Playback event {} in {}: \"{}\" by {}", event,
             playlist ? playlistName(*playlist) : std::string("no mix"),
             trackItem ? trackItem->title : std::string(), trackItem ? trackItem->artist : "");
}

// ---------------------------------------------------------------- recording

void MRPlaybackHistoryObserver::recordPlayback(const std::shared_ptr<MRPlaylistTrackItem>& item,
                                               const std::shared_ptr<MRPlaylist>& playlist) {
  if (!item) return;
  removeFromRecommendMix(*item);
  addToLocalHistory(*item);
  if (!playlist) return;
  auto record = std::make_shared<MRRecordPlaybackHistoryOperation>(
      parts_.recommend, parts_.mirelune, item, playlistName(*playlist));
  record->submit();
  if (parts_.onSubmit) parts_.onSubmit(record);
  logEvent("playback", playlist, item);
}

void MRPlaybackHistoryObserver::removeFromRecommendMix(const MRPlaylistTrackItem& item) {
  if (!parts_.recommend.store) return;
  CDRecommendTrackEntityController tracks(parts_.recommend.store.get());
  tracks.deleteWithItemHash(CDUtility::itemHashWithTitle(item.title, item.artist));
  if (Status saved = tracks.save(); !saved.ok()) {
    log::warning("Cannot remove \"{}\" from the recommendations: {}", item.title,
                 saved.error().toString());
  }
  if (tracks.countAllItems() < kRecommendTrackLowWater && parts_.serviceQueue &&
      parts_.recommendMixBuildKind)
    parts_.serviceQueue->addOperationOfKind(*parts_.recommendMixBuildKind);
}

void MRPlaybackHistoryObserver::addToLocalHistory(const MRPlaylistTrackItem& item) {
  if (!parts_.recommend.store) return;
  CDPlayHistoryTrackEntityController history(parts_.recommend.store.get());
  auto record = history.insertNewObject();
  if (!record) {
    log::warning("Cannot add \"{}\" to the play history: the store is not open", item.title);
    return;
  }
  record->setArtist(item.artist);
  record->setTitle(item.title);
  record->setImageUrl(item.imageUrl);
  record->setPlayedAt(parts_.recommend.env->clock().currentDate());
  record->setItemHash(CDUtility::itemHashWithTitle(item.title, item.artist));
  CDPreviewDataSourceEntityController sources(history.context());
  for (const auto& source : item.previewDataSourceSet) {
    auto stored = sources.insertNewObject();
    if (!stored) continue;
    assignPreviewDataSourceToManagedObject(source, *stored);
    stored->setPlayedTrackHistory(record.get());
  }
  for (CDEntityController* controller :
       {static_cast<CDEntityController*>(&sources), static_cast<CDEntityController*>(&history)}) {
    if (Status saved = controller->save(); !saved.ok()) {
      log::warning("Cannot add \"{}\" to the play history: {}", item.title,
                   saved.error().toString());
      return;
    }
  }
}

}  // namespace mr
