#include "playback/MRPlaylistPlayer.h"

#include "base/Log.h"

namespace mr {
namespace {

SharedInstance<MRPlaylistPlayer>& shared() {
  static SharedInstance<MRPlaylistPlayer> instance;
  return instance;
}

}  // namespace

std::shared_ptr<MRPlaylistPlayer> MRPlaylistPlayer::create(MRPlayerParts parts) {
  return std::shared_ptr<MRPlaylistPlayer>(new MRPlaylistPlayer(std::move(parts)));
}

std::shared_ptr<MRPlaylistPlayer> MRPlaylistPlayer::sharedPlaylistPlayer() {
  return shared().get([] { return create(MRPlayerParts::defaults()); });
}

void MRPlaylistPlayer::setSharedPlaylistPlayer(std::shared_ptr<MRPlaylistPlayer> player) {
  shared().replace(std::move(player));
}

void MRPlaylistPlayer::setCurrentTrackPlayer(std::shared_ptr<MRTrackPlayer> player) {
  if (currentTrackPlayer_ && currentTrackPlayer_ != player) currentTrackPlayer_->setDelegate({});
  currentTrackPlayer_ = std::move(player);
  if (currentTrackPlayer_) currentTrackPlayer_->setDelegate(weak_from_this());
}

void MRPlaylistPlayer::setPreviousTrackPlayer(std::shared_ptr<MRTrackPlayer> player) {
  if (previousTrackPlayer_ && previousTrackPlayer_ != player) {
    previousTrackPlayer_->setDelegate({});
    // Still fading out under a track that is itself being replaced: cut it
    // here rather than in its destructor, so its stop notice names it.
    previousTrackPlayer_->stop();
  }
  previousTrackPlayer_ = std::move(player);
  if (previousTrackPlayer_) previousTrackPlayer_->setDelegate({});
}

void MRPlaylistPlayer::post(const char* name, const std::shared_ptr<MRTrackPlayer>& trackPlayer) {
  if (!parts_.notifications) return;
  parts_.notifications->post(name, shared_from_this(),
                             {{MRPlaylistPlayerTrackPlayerKey, trackPlayer}});
}

// ---------------------------------------------------------------- choosing

std::optional<size_t> MRPlaylistPlayer::currentIndex() const {
  auto list = playlist();
  if (!list || !currentTrackPlayer_) return std::nullopt;
  return list->indexOfTrackItem(currentTrackPlayer_->trackItem().get());
}

std::shared_ptr<MRPlaylistTrackItem> MRPlaylistPlayer::determineNextTrackToPlay() const {
  auto list = playlist();
  if (!list) return nullptr;
  const auto index = currentIndex();
  return list->trackItemForIndex(index ? *index + 1 : 0);
}

std::shared_ptr<MRPlaylistTrackItem> MRPlaylistPlayer::determinePrevTrackToPlay() const {
  auto list = playlist();
  if (!list) return nullptr;
  const auto index = currentIndex();
  if (!index) return list->trackItemForIndex(0);
  if (*index == 0) return nullptr;
  return list->trackItemForIndex(*index - 1);
}

// ---------------------------------------------------------------- playing

bool MRPlaylistPlayer::playWithTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (!item) return false;
  auto keepAlive = shared_from_this();
  auto player = MRTrackPlayer::initWithTrackItem(parts_, item);
  player->setDelegate(weak_from_this());
  if (!player->play()) {
    player->setDelegate({});
    return false;
  }
  auto replaced = currentTrackPlayer_;
  setPreviousTrackPlayer(replaced);
  setCurrentTrackPlayer(player);
  // One that is fading out plays its last seconds under the new track.
  if (replaced && !replaced->isFadingOut()) replaced->stop();
  if (auto delegate = delegate_.lock())
    delegate->playlistPlayerDidStartPlayingTrack(*this, item, player);
  return true;
}

bool MRPlaylistPlayer::playWithIndex(size_t index) {
  auto list = playlist();
  if (!list) return false;
  return playWithTrackItem(list->trackItemForIndex(index));
}

bool MRPlaylistPlayer::play() {
  if (!currentTrackPlayer_) return forward();
  // A track player serves one playback: a stopped or ended track starts
  // again on a new one.
  if (currentTrackPlayer_->isUnloading())
    return playWithTrackItem(currentTrackPlayer_->trackItem());
  return currentTrackPlayer_->play();
}

bool MRPlaylistPlayer::forward() {
  auto next = determineNextTrackToPlay();
  if (!next || !playWithTrackItem(next)) return false;
  post(MRPlaylistPlayerForwardNotification, currentTrackPlayer_);
  return true;
}

bool MRPlaylistPlayer::backward() {
  if (currentTrackPlayer_ && currentTrackPlayer_->player() != nullptr &&
      currentTrackPlayer_->currentTime() >= kBackwardRewindThreshold) {
    currentTrackPlayer_->rewind();
    return true;
  }
  auto previous = determinePrevTrackToPlay();
  if (!previous || !playWithTrackItem(previous)) return false;
  post(MRPlaylistPlayerBackwardNotification, currentTrackPlayer_);
  return true;
}

void MRPlaylistPlayer::rewind() {
  if (!currentTrackPlayer_) return;
  currentTrackPlayer_->rewind();
  post(MRPlaylistPlayerRewindNotification, currentTrackPlayer_);
}

void MRPlaylistPlayer::pause() {
  if (currentTrackPlayer_) currentTrackPlayer_->pause();
}

void MRPlaylistPlayer::resume() {
  if (currentTrackPlayer_) currentTrackPlayer_->resume();
}

void MRPlaylistPlayer::stop() {
  if (currentTrackPlayer_) currentTrackPlayer_->stop();
  // Nothing goes on sounding after a stop, not even a fading track.
  if (previousTrackPlayer_) previousTrackPlayer_->stop();
}

// ---------------------------------------------------------------- reports

void MRPlaylistPlayer::trackPlayerIsOnBeginningOfFadingOut(MRTrackPlayer& trackPlayer) {
  if (&trackPlayer != currentTrackPlayer_.get()) return;
  auto keepAlive = shared_from_this();
  auto delegate = delegate_.lock();
  if (delegate) delegate->playlistPlayerWillFinishTrack(*this, trackPlayer.trackItem());
  auto next = determineNextTrackToPlay();
  if (!next) return;
  if (delegate && !delegate->playlistPlayerWillPlayTrack(*this, next)) return;
  playWithTrackItem(next);
}

void MRPlaylistPlayer::trackPlayerFailedToInitializePlayerWithError(MRTrackPlayer& trackPlayer,
                                                                    const Error& error) {
  auto keepAlive = shared_from_this();
  auto failed = trackPlayer.shared_from_this();
  failed->stop();
  failed->setDelegate({});
  if (auto delegate = delegate_.lock())
    delegate->playlistPlayerDidFailToInitializeTrackPlayer(*this, failed, error);
  if (failed == currentTrackPlayer_) goOnAfter(failed->trackItem());
}

void MRPlaylistPlayer::trackPlayerItemDidFail(MRTrackPlayer& trackPlayer, const Error& /*error*/) {
  if (&trackPlayer != currentTrackPlayer_.get()) return;
  auto keepAlive = shared_from_this();
  auto failed = trackPlayer.shared_from_this();
  if (auto delegate = delegate_.lock())
    delegate->playlistPlayerWillFinishTrack(*this, failed->trackItem());
  failed->stop();
  goOnAfter(failed->trackItem());
}

void MRPlaylistPlayer::goOnAfter(const std::shared_ptr<MRPlaylistTrackItem>& failed) {
  auto list = playlist();
  if (!list) return;
  const auto index = list->indexOfTrackItem(failed.get());
  if (!index) return;
  for (size_t i = *index + 1;; ++i) {
    auto next = list->trackItemForIndex(i);
    if (!next) return;
    if (auto delegate = delegate_.lock();
        delegate && !delegate->playlistPlayerWillPlayTrack(*this, next))
      return;
    if (playWithTrackItem(next)) return;
    log::info("Skipping \"{}\": it cannot start", next->title);
  }
}

}  // namespace mr
