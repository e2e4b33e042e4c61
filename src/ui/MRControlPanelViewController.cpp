#include "ui/MRControlPanelViewController.h"

#include <cstdlib>

#include "base/Localization.h"
#include "ui/ScriptCall.h"

namespace mr {

std::string previewSourceLabel(MRPreviewSourceID sourceID) {
  switch (sourceID) {
    case MRPreviewSourceIDITunes:
      return localizedString("PreviewSourceITunes");
    case MRPreviewSourceIDYouTube:
      return localizedString("PreviewSourceYouTube");
    case MRPreviewSourceIDSoundCloud:
      return localizedString("PreviewSourceSoundCloud");
    case MRPreviewSourceIDLocalCache:
      return localizedString("PreviewSourceLocalCache");
    default:
      return {};
  }
}

MRControlPanelViewController::MRControlPanelViewController(
    MRUiContext& context, std::function<void(const std::string&)> send, Actions actions)
    : context_(context), send_(std::move(send)), actions_(std::move(actions)) {
  if (auto center = context.notifications) {
    for (const char* name :
         {MRTrackPlayerDidPlayTrackNotification, MRTrackPlayerDidStopTrackNotification,
          MRTrackPlayerDidChangeStatusNotification, MRPlaylistPlayerForwardNotification,
          MRPlaylistPlayerBackwardNotification, MRPlaylistPlayerRewindNotification}) {
      observers_.push_back(
          center->addObserver(name, [this](const Notification&) { playerDidChange(); }));
    }
    observers_.push_back(center->addObserver(MRTrackPlayerDidChangeBufferingProgressNotification,
                                             [this](const Notification&) { sendPlaybackTime(); }));
  }
}

MRControlPanelViewController::~MRControlPanelViewController() {
  if (auto center = context_.notifications) {
    for (auto token : observers_)
      center->removeObserver(token);
  }
  if (timer_) context_.environment().main().cancel(*timer_);
}

void MRControlPanelViewController::performAction(const std::string& action,
                                                 const AppParams& params) {
  auto player = context_.player;
  if (action == "play") {
    playButtonAction();
  } else if (action == "currentTrack") {
    if (actions_.currentTrack) actions_.currentTrack();
  } else if (action == "image") {
    if (actions_.toggleVideo) actions_.toggleVideo();
  } else if (!player) {
    return;
  } else if (action == "forward") {
    (void)player->forward();
  } else if (action == "backward") {
    (void)player->backward();
  } else if (action == "rewind") {
    player->rewind();
  } else if (action == "seek") {
    auto found = params.find("position");
    auto track = player->currentTrackPlayer();
    if (found == params.end() || !track || !track->player()) return;
    char* end = nullptr;
    const double position = std::strtod(found->second.c_str(), &end);
    if (end == found->second.c_str() || !(position >= 0)) return;
    track->player()->seekToTime(position);
    sendPlaybackTime();
  }
}

void MRControlPanelViewController::playButtonAction() {
  auto player = context_.player;
  if (!player) return;
  if (auto track = player->currentTrackPlayer()) {
    if (track->status() == MRTrackPlayerStatusPaused) {
      track->resume();
    } else if (track->status() == MRTrackPlayerStatusPlaying) {
      track->pause();
    }
  } else {
    (void)player->play();
  }
  playerDidChange();
}

bool MRControlPanelViewController::keyDown(int code) {
  if (code != kSpaceKeyCode) return false;
  send_("app.setPlayHighlight(true)");
  return true;
}

bool MRControlPanelViewController::keyUp(int code) {
  if (code != kSpaceKeyCode) return false;
  send_("app.setPlayHighlight(false)");
  playButtonAction();
  return true;
}

Value MRControlPanelViewController::state() const {
  auto player = context_.player;
  std::shared_ptr<MRTrackPlayer> track = player ? player->currentTrackPlayer() : nullptr;
  std::string state = "none";
  if (track) {
    switch (track->status()) {
      case MRTrackPlayerStatusIdle:
      case MRTrackPlayerStatusLoading:
        state = "loading";
        break;
      case MRTrackPlayerStatusPlaying:
        state = "playing";
        break;
      case MRTrackPlayerStatusPaused:
        state = "paused";
        break;
      default:
        state = "none";
    }
  }
  Dictionary panel{{"state", Value(state)}};
  const auto& item = track ? track->trackItem() : nullptr;
  panel.set("title", Value(item ? item->title : std::string()));
  panel.set("artist", Value(item ? item->artist : std::string()));
  panel.set("artwork",
            Value(item ? (item->cachedImageUrl.empty() ? item->imageUrl : item->cachedImageUrl)
                       : std::string()));
  const auto& source = track ? track->previewDataSource() : std::nullopt;
  panel.set("source", Value(source ? previewSourceLabel(source->sourceID) : std::string()));
  panel.set("sourceId", source ? Value(source->sourceID) : Value());
  panel.set("canBackward", Value(player && player->playlist() && player->playlist()->numberOfTracks() > 0));
  panel.set("canForward", Value(player && player->determineNextTrackToPlay() != nullptr));
  panel.set("videoVisible", Value(actions_.videoVisible && actions_.videoVisible()));
  return Value(std::move(panel));
}

void MRControlPanelViewController::render() {
  send_(scriptCall("app.setControlPanel", state()));
  sendPlaybackTime();
}

void MRControlPanelViewController::sendPlaybackTime() {
  auto player = context_.player;
  auto track = player ? player->currentTrackPlayer() : nullptr;
  double position = 0;
  double duration = 0;
  Array loaded;
  bool buffering = false;
  if (track) {
    position = track->currentTime();
    duration = track->duration();
    if (const MRMediaPlayer* media = track->player()) {
      for (const auto& range : media->loadedTimeRanges())
        loaded.emplace_back(Array{Value(range.start), Value(range.start + range.duration)});
    }
    buffering = track->status() == MRTrackPlayerStatusLoading;
  }
  send_(scriptCall("app.setPlaybackTime", Value(Dictionary{{"position", Value(position)},
                                                           {"duration", Value(duration)},
                                                           {"loaded", Value(std::move(loaded))},
                                                           {"buffering", Value(buffering)}})));
}

void MRControlPanelViewController::playerDidChange() {
  render();
  updateTimer();
}

void MRControlPanelViewController::updateTimer() {
  auto player = context_.player;
  auto track = player ? player->currentTrackPlayer() : nullptr;
  const bool playing = track && track->status() == MRTrackPlayerStatusPlaying;
  Dispatcher& main = context_.environment().main();
  if (playing && !timer_) {
    timer_ = main.repeat(seconds(kPlaybackTimeInterval), [this] { sendPlaybackTime(); });
  } else if (!playing && timer_) {
    main.cancel(*timer_);
    timer_.reset();
  }
}

}  // namespace mr
