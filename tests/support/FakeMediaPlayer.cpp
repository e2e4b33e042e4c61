#include "support/FakeMediaPlayer.h"

#include <algorithm>

#include <fmt/format.h>

namespace mr::test {
namespace {

// The handle the track player owns; the fake itself stays with the factory
// so tests can read it after the track player let go.
class Handle final : public MRMediaPlayer {
 public:
  explicit Handle(std::shared_ptr<FakeMediaPlayer> fake) : fake_(std::move(fake)) {}
  ~Handle() override { fake_->release(); }

  void play() override { fake_->play(); }
  void pause() override { fake_->pause(); }
  double rate() const override { return fake_->rate(); }
  double currentTime() const override { return fake_->currentTime(); }
  void seekToTime(double seconds) override { fake_->seekToTime(seconds); }
  MediaPlayerReadiness readiness() const override { return fake_->readiness(); }
  std::optional<double> duration() const override { return fake_->duration(); }
  MediaItemStatus itemStatus() const override { return fake_->itemStatus(); }
  std::optional<Error> itemError() const override { return fake_->itemError(); }
  std::vector<MediaTimeRange> loadedTimeRanges() const override {
    return fake_->loadedTimeRanges();
  }
  bool playbackBufferEmpty() const override { return fake_->playbackBufferEmpty(); }
  bool playbackLikelyToKeepUp() const override { return fake_->playbackLikelyToKeepUp(); }
  void loadAsset(std::function<void(Result<MediaAssetInfo>)> done) override {
    fake_->loadAsset(std::move(done));
  }
  void setVolumeRamps(std::vector<MediaVolumeRamp> ramps,
                      const std::vector<int>& audioTrackIds) override {
    fake_->setVolumeRamps(std::move(ramps), audioTrackIds);
  }
  void setObserver(Observer observer) override { fake_->setObserver(std::move(observer)); }

 private:
  std::shared_ptr<FakeMediaPlayer> fake_;
};

}  // namespace

FakeMediaPlayer::FakeMediaPlayer(Clock& clock, Dispatcher& main, std::string url,
                                 FakeMediaScript script)
    : clock_(clock), main_(main), url_(std::move(url)), script_(std::move(script)) {
  anchor_ = clock_.now();
  if (script_.readyAtOnce) {
    readiness_ = MediaPlayerReadiness::ReadyToPlay;
    itemStatus_ = MediaItemStatus::ReadyToPlay;
  }
  if (script_.fullyBuffered) {
    loaded_ = {MediaTimeRange{0, script_.duration}};
    likelyToKeepUp_ = true;
  }
}

FakeMediaPlayer::~FakeMediaPlayer() {
  if (endTimer_) main_.cancel(*endTimer_);
}

int FakeMediaPlayer::count(const std::string& call) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

bool FakeMediaPlayer::advancing() const {
  return !released_ && rate_ > 0 && !stalled_ && readiness_ == MediaPlayerReadiness::ReadyToPlay &&
         itemStatus_ != MediaItemStatus::Failed;
}

double FakeMediaPlayer::currentTime() const {
  if (!advancing()) return position_;
  return std::min(script_.duration, position_ + toSeconds(clock_.now() - anchor_));
}

std::optional<double> FakeMediaPlayer::duration() const {
  if (readiness_ != MediaPlayerReadiness::ReadyToPlay) return std::nullopt;
  return script_.duration;
}

void FakeMediaPlayer::freeze() {
  position_ = currentTime();
  anchor_ = clock_.now();
}

void FakeMediaPlayer::scheduleEnd() {
  if (endTimer_) main_.cancel(*endTimer_);
  endTimer_.reset();
  if (!advancing()) return;
  std::weak_ptr<FakeMediaPlayer> weak = weak_from_this();
  endTimer_ = main_.postAfter(seconds(script_.duration - position_), [weak] {
    if (auto self = weak.lock()) self->reachedEnd();
  });
}

void FakeMediaPlayer::reachedEnd() {
  endTimer_.reset();
  if (!advancing()) return;
  position_ = script_.duration;
  anchor_ = clock_.now();
  rate_ = 0;
  notify(MRMediaPlayer::Property::Rate);
}

void FakeMediaPlayer::notify(MRMediaPlayer::Property property) {
  if (released_) return;
  std::weak_ptr<FakeMediaPlayer> weak = weak_from_this();
  main_.post([weak, property] {
    auto self = weak.lock();
    if (!self || self->released_ || !self->observer_) return;
    auto observer = self->observer_;
    observer(property);
  });
}

// ---------------------------------------------------------------- the player

void FakeMediaPlayer::play() {
  calls_.emplace_back("play");
  freeze();
  // At the end a real player stays there: play does nothing.
  if (position_ >= script_.duration && readiness_ == MediaPlayerReadiness::ReadyToPlay) {
    notify(MRMediaPlayer::Property::Rate);
    return;
  }
  rate_ = 1;
  scheduleEnd();
  notify(MRMediaPlayer::Property::Rate);
}

void FakeMediaPlayer::pause() {
  calls_.emplace_back("pause");
  freeze();
  rate_ = 0;
  scheduleEnd();
  notify(MRMediaPlayer::Property::Rate);
}

void FakeMediaPlayer::seekToTime(double seconds) {
  calls_.push_back(fmt::format("seek {}", seconds));
  position_ = std::clamp(seconds, 0.0, script_.duration);
  anchor_ = clock_.now();
  scheduleEnd();
}

void FakeMediaPlayer::loadAsset(std::function<void(Result<MediaAssetInfo>)> done) {
  calls_.emplace_back("loadAsset");
  pendingAsset_ = std::move(done);
  if (script_.answerAssetAtOnce) deliverAsset();
}

void FakeMediaPlayer::answerAsset() {
  deliverAsset();
}

void FakeMediaPlayer::deliverAsset() {
  if (!pendingAsset_) return;
  auto done = std::move(pendingAsset_);
  pendingAsset_ = nullptr;
  Result<MediaAssetInfo> answer =
      script_.assetError
          ? Result<MediaAssetInfo>(*script_.assetError)
          : Result<MediaAssetInfo>(MediaAssetInfo{script_.duration, script_.audioTrackIds});
  main_.post([done = std::move(done), answer = std::move(answer)] { done(answer); });
}

void FakeMediaPlayer::setVolumeRamps(std::vector<MediaVolumeRamp> ramps,
                                     const std::vector<int>& audioTrackIds) {
  calls_.emplace_back("setVolumeRamps");
  ramps_ = std::move(ramps);
  rampedTrackIds_ = audioTrackIds;
}

void FakeMediaPlayer::release() {
  freeze();
  released_ = true;
  observer_ = nullptr;
  scheduleEnd();
}

// ---------------------------------------------------------------- the network

void FakeMediaPlayer::becomeReady() {
  freeze();
  readiness_ = MediaPlayerReadiness::ReadyToPlay;
  itemStatus_ = MediaItemStatus::ReadyToPlay;
  anchor_ = clock_.now();
  scheduleEnd();
  notify(MRMediaPlayer::Property::Readiness);
  notify(MRMediaPlayer::Property::ItemStatus);
}

void FakeMediaPlayer::setLoadedTimeRanges(std::vector<MediaTimeRange> ranges) {
  loaded_ = std::move(ranges);
  notify(MRMediaPlayer::Property::LoadedTimeRanges);
}

void FakeMediaPlayer::stall(double bufferedAhead) {
  freeze();
  stalled_ = true;
  rate_ = 0;
  loaded_ = {MediaTimeRange{0, std::min(script_.duration, position_ + bufferedAhead)}};
  likelyToKeepUp_ = false;
  scheduleEnd();
  notify(MRMediaPlayer::Property::LoadedTimeRanges);
  notify(MRMediaPlayer::Property::Rate);
}

void FakeMediaPlayer::recover() {
  freeze();
  stalled_ = false;
  loaded_ = {MediaTimeRange{0, script_.duration}};
  bufferEmpty_ = false;
  likelyToKeepUp_ = true;
  scheduleEnd();
  notify(MRMediaPlayer::Property::LoadedTimeRanges);
  notify(MRMediaPlayer::Property::PlaybackBufferEmpty);
  notify(MRMediaPlayer::Property::PlaybackLikelyToKeepUp);
}

void FakeMediaPlayer::setPlaybackBufferEmpty(bool empty) {
  bufferEmpty_ = empty;
  notify(MRMediaPlayer::Property::PlaybackBufferEmpty);
}

void FakeMediaPlayer::setPlaybackLikelyToKeepUp(bool likely) {
  likelyToKeepUp_ = likely;
  notify(MRMediaPlayer::Property::PlaybackLikelyToKeepUp);
}

void FakeMediaPlayer::failItem(Error error) {
  freeze();
  itemStatus_ = MediaItemStatus::Failed;
  itemError_ = std::move(error);
  rate_ = 0;
  scheduleEnd();
  notify(MRMediaPlayer::Property::ItemStatus);
  notify(MRMediaPlayer::Property::Rate);
}

// ---------------------------------------------------------------- factory

std::unique_ptr<MRMediaPlayer> FakeMediaPlayerFactory::playerForUrl(const std::string& url) {
  auto found = scripts_.find(url);
  auto fake = std::make_shared<FakeMediaPlayer>(
      clock_, main_, url, found != scripts_.end() ? found->second : defaultScript_);
  players_.push_back(fake);
  return std::make_unique<Handle>(fake);
}

std::shared_ptr<FakeMediaPlayer> FakeMediaPlayerFactory::playerMadeFor(
    const std::string& url) const {
  for (auto it = players_.rbegin(); it != players_.rend(); ++it) {
    if ((*it)->url() == url) return *it;
  }
  return nullptr;
}

}  // namespace mr::test
