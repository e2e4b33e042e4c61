#include "playback/MRTrackPlayer.h"

#include <algorithm>

#include "base/Log.h"
#include "base/MutexProtected.h"
#include "playback/GstMediaPlayer.h"

namespace mr {
namespace {

MutexProtected<std::shared_ptr<MRMediaPlayerFactory>>& defaultFactory() {
  static MutexProtected<std::shared_ptr<MRMediaPlayerFactory>> factory;
  return factory;
}

}  // namespace

MRPlayerParts MRPlayerParts::defaults() {
  // GStreamer unless another backend was set; none when it cannot start.
  auto factory = defaultFactory().with([](std::shared_ptr<MRMediaPlayerFactory>& made) {
    if (!made) {
      if (Status started = GstMediaPlayerFactory::initialize(); started.ok()) {
        made = std::make_shared<GstMediaPlayerFactory>();
      } else {
        log::error("No media player: {}", started.error().toString());
      }
    }
    return made;
  });
  return MRPlayerParts{&Env::defaultEnv(), std::move(factory), NotificationCenter::defaultCenter()};
}

void MRPlayerParts::setDefaultMediaPlayerFactory(std::shared_ptr<MRMediaPlayerFactory> factory) {
  defaultFactory().set(std::move(factory));
}

MRTrackPlayer::MRTrackPlayer(MRPlayerParts parts, std::shared_ptr<MRPlaylistTrackItem> trackItem)
    : parts_(std::move(parts)), trackItem_(std::move(trackItem)) {}

std::shared_ptr<MRTrackPlayer> MRTrackPlayer::initWithTrackItem(
    MRPlayerParts parts, std::shared_ptr<MRPlaylistTrackItem> trackItem) {
  std::shared_ptr<MRTrackPlayer> player(new MRTrackPlayer(std::move(parts), std::move(trackItem)));
  Reachability& reachability = player->parts_.env->reachability();
  player->wasReachable_ = reachability.isReachable();
  std::weak_ptr<MRTrackPlayer> weak = player;
  player->reachabilityToken_ = reachability.addObserver([weak](NetworkStatus status) {
    if (auto self = weak.lock()) self->reachabilityChanged(status);
  });
  return player;
}

MRTrackPlayer::~MRTrackPlayer() {
  parts_.env->reachability().removeObserver(reachabilityToken_);
  if (!player_) return;
  Dispatcher& main = parts_.env->main();
  if (timerForFadingOut_) main.cancel(*timerForFadingOut_);
  if (parts_.notifications)
    parts_.notifications->post(MRTrackPlayerDidStopTrackNotification, nullptr);
  // The media player belongs to the main thread, wherever the last owner
  // let go of this one.
  auto dispose = [player = std::shared_ptr<MRMediaPlayer>(std::move(player_))] {
    player->setObserver(nullptr);
    player->pause();
  };
  if (main.isCurrentThread())
    dispose();
  else
    main.post(std::move(dispose));
}

void MRTrackPlayer::onMain(const Task& task) const {
  parts_.env->main().postAndWait(task);
}

void MRTrackPlayer::post(const char* name) {
  if (parts_.notifications) parts_.notifications->post(name, shared_from_this());
}

// ---------------------------------------------------------------- starting

bool MRTrackPlayer::play() {
  bool started = false;
  onMain([this, &started] { started = playOnMain(); });
  return started;
}

bool MRTrackPlayer::playOnMain() {
  if (player_) {
    player_->play();
  } else if (!initPlayerAndPlay()) {
    return false;
  }
  pausedByListener_ = false;
  // A player that has not taken off yet gets a second push.
  std::weak_ptr<MRTrackPlayer> weak = weak_from_this();
  parts_.env->main().postAfter(seconds(kReplayDelay), [weak] {
    auto self = weak.lock();
    if (self && self->player_ && self->status_ == MRTrackPlayerStatusLoading) self->player_->play();
  });
  return true;
}

bool MRTrackPlayer::initPlayerAndPlay() {
  if (!trackItem_) return false;
  isFadingOut_ = false;
  const MRPreviewDataSource* source = trackItem_->playablePreviewDataSource();
  if (source == nullptr) {
    log::info("Nothing to play for \"{}\" by {}", trackItem_->title, trackItem_->artist);
    return false;
  }
  previewDataSource_ = *source;
  // Stopped once: this player is done (a new one plays the item again).
  if (unloading_) return false;
  if (!parts_.mediaPlayers) {
    log::warning("No media player to play \"{}\"", trackItem_->title);
    return false;
  }
  setStatus(MRTrackPlayerStatusLoading);
  player_ = parts_.mediaPlayers->playerForUrl(*source->previewUrl);
  if (!player_) {
    log::warning("No media player for {}", *source->previewUrl);
    setStatus(MRTrackPlayerStatusIdle);
    return false;
  }
  const uint64_t generation = ++generation_;
  std::weak_ptr<MRTrackPlayer> weak = weak_from_this();
  // Watched before it is told to play, so its first change is not missed.
  player_->setObserver([weak, generation](MRMediaPlayer::Property property) {
    if (auto self = weak.lock()) self->observe(generation, property);
  });
  player_->play();
  // Answered on a later turn of the loop even by a media player that knows
  // at once, so the starter has taken this player in before a failure.
  Dispatcher& main = parts_.env->main();
  player_->loadAsset([weak, generation, &main](Result<MediaAssetInfo> asset) {
    main.post([weak, generation, asset = std::move(asset)] {
      if (auto self = weak.lock()) self->assetLoaded(generation, asset);
    });
  });
  post(MRTrackPlayerDidPlayTrackNotification);
  return true;
}

void MRTrackPlayer::assetLoaded(uint64_t generation, const Result<MediaAssetInfo>& asset) {
  if (generation != generation_ || !player_) return;
  if (!asset.ok()) {
    log::info("Cannot load \"{}\": {}", trackItem_->title, asset.error().toString());
    auto keepAlive = shared_from_this();
    if (auto delegate = delegate_.lock())
      delegate->trackPlayerFailedToInitializePlayerWithError(*this, asset.error());
    return;
  }
  assetDuration_ = asset->duration;
  setUpVolumeFades(*asset);
  std::weak_ptr<MRTrackPlayer> weak = weak_from_this();
  timerForFadingOut_ = parts_.env->main().repeat(seconds(kFadeOutCheckInterval), [weak] {
    if (auto self = weak.lock()) self->checkFadingOut();
  });
}

void MRTrackPlayer::setUpVolumeFades(const MediaAssetInfo& asset) {
  const double fadeOutStart = asset.duration - kFadeDuration;
  // A track of 5 seconds or less plays at full volume throughout.
  if (fadeOutStart <= 0) return;
  player_->setVolumeRamps(
      {MediaVolumeRamp{0, 1, 0, kFadeDuration}, MediaVolumeRamp{1, 0, fadeOutStart, kFadeDuration}},
      asset.audioTrackIds);
}

void MRTrackPlayer::checkFadingOut() {
  if (!player_ || isFadingOut_) return;
  const double length = duration();
  if (length <= 0 || length - player_->currentTime() >= kFadeDuration) return;
  isFadingOut_ = true;
  auto keepAlive = shared_from_this();
  if (auto delegate = delegate_.lock()) delegate->trackPlayerIsOnBeginningOfFadingOut(*this);
}

// ---------------------------------------------------------------- watching

double MRTrackPlayer::duration() const {
  if (assetDuration_ && *assetDuration_ > 0) return *assetDuration_;
  if (player_) return player_->duration().value_or(0);
  return 0;
}

bool MRTrackPlayer::isAtEnd() const {
  const double length = duration();
  return player_ && length > 0 && player_->currentTime() >= length;
}

void MRTrackPlayer::observe(uint64_t generation, MRMediaPlayer::Property property) {
  if (generation != generation_ || !player_) return;
  auto keepAlive = shared_from_this();
  switch (property) {
    case MRMediaPlayer::Property::Rate:
      rateChanged();
      break;
    case MRMediaPlayer::Property::Readiness:
      // A player told to play before it was ready starts when it is.
      if (player_->readiness() == MediaPlayerReadiness::ReadyToPlay && player_->rate() > 0 &&
          status_ == MRTrackPlayerStatusLoading)
        setStatus(MRTrackPlayerStatusPlaying);
      break;
    case MRMediaPlayer::Property::PlaybackBufferEmpty:
      if (player_->playbackBufferEmpty() && !pausedByListener_)
        setStatus(MRTrackPlayerStatusLoading);
      break;
    case MRMediaPlayer::Property::PlaybackLikelyToKeepUp:
      if (player_->playbackLikelyToKeepUp() && status_ == MRTrackPlayerStatusLoading && !isAtEnd())
        resume();
      break;
    case MRMediaPlayer::Property::LoadedTimeRanges: {
      const auto ranges = player_->loadedTimeRanges();
      const double length = duration();
      if (ranges.empty() || length <= 0) break;
      const float progress =
          static_cast<float>(std::clamp(ranges.front().end() / length, 0.0, 1.0));
      bufferingProgress_ = progress;
      if (auto view = viewDelegate_.lock())
        view->trackPlayerDidChangeBufferingProgress(*this, progress);
      post(MRTrackPlayerDidChangeBufferingProgressNotification);
      break;
    }
    case MRMediaPlayer::Property::ItemStatus: {
      if (player_->itemStatus() != MediaItemStatus::Failed) break;
      const Error error = player_->itemError().value_or(
          Error(kMireluneErrorDomain, 0, "The track cannot be played"));
      log::info("\"{}\" failed: {}", trackItem_->title, error.toString());
      if (auto view = viewDelegate_.lock()) view->trackPlayerDidEncounterError(*this, error);
      if (auto delegate = delegate_.lock()) delegate->trackPlayerItemDidFail(*this, error);
      break;
    }
  }
}

void MRTrackPlayer::rateChanged() {
  if (player_->rate() > 0) {
    setStatus(player_->readiness() == MediaPlayerReadiness::ReadyToPlay
                  ? MRTrackPlayerStatusPlaying
                  : MRTrackPlayerStatusLoading);
    return;
  }
  if (isAtEnd()) {
    setStatus(MRTrackPlayerStatusFinished);
    std::weak_ptr<MRTrackPlayer> weak = weak_from_this();
    parts_.env->main().postAfter(seconds(kUnloadDelayAtEnd), [weak] {
      if (auto self = weak.lock()) self->unload();
    });
    return;
  }
  const auto ranges = player_->loadedTimeRanges();
  if (ranges.empty() || status_ == MRTrackPlayerStatusLoading) return;
  const double bufferedAhead = ranges.front().end() - player_->currentTime();
  setStatus(status_ != MRTrackPlayerStatusPaused && bufferedAhead < kStallBufferedAhead
                ? MRTrackPlayerStatusLoading
                : MRTrackPlayerStatusPaused);
}

void MRTrackPlayer::reachabilityChanged(NetworkStatus status) {
  const bool reachable = status != NetworkStatus::NotReachable;
  const bool returned = reachable && !wasReachable_;
  wasReachable_ = reachable;
  if (!returned || !player_) return;
  // Seeking where it stands makes the player load again.
  player_->seekToTime(player_->currentTime());
  if (status_ != MRTrackPlayerStatusLoading && !pausedByListener_) player_->play();
}

void MRTrackPlayer::setStatus(MRTrackPlayerStatus status) {
  if (status_.exchange(status) == status) return;
  if (auto view = viewDelegate_.lock()) view->trackPlayerDidChangeStatus(*this, status);
  post(MRTrackPlayerDidChangeStatusNotification);
}

// ---------------------------------------------------------------- listener

void MRTrackPlayer::pause() {
  onMain([this] {
    pausedByListener_ = true;
    setStatus(MRTrackPlayerStatusPaused);
    if (player_) player_->pause();
  });
}

void MRTrackPlayer::resume() {
  onMain([this] {
    pausedByListener_ = false;
    if (player_) player_->play();
  });
}

void MRTrackPlayer::rewind() {
  onMain([this] {
    isFadingOut_ = false;
    pausedByListener_ = false;
    if (!player_) return;
    player_->seekToTime(0);
    player_->play();
  });
}

void MRTrackPlayer::stop() {
  onMain([this] { unload(); });
}

void MRTrackPlayer::unload() {
  unloading_ = true;
  if (player_) {
    player_->setObserver(nullptr);
    if (timerForFadingOut_) parts_.env->main().cancel(*timerForFadingOut_);
    timerForFadingOut_.reset();
    player_->pause();
    post(MRTrackPlayerDidStopTrackNotification);
  }
  player_.reset();
  ++generation_;
  isFadingOut_ = false;
}

double MRTrackPlayer::currentTime() const {
  return player_ ? player_->currentTime() : 0;
}

double MRTrackPlayer::progress() const {
  const double length = duration();
  return player_ && length > 0 ? player_->currentTime() / length : 0;
}

}  // namespace mr
