// The playback control panel: play/pause, forward, backward, rewind, the
// video button, the current track (artwork, title, artist, source), and the
// space bar. Its state follows the shared player's notices; while a track
// plays its time is sent every half second.
//
// On the window's channel: app.setControlPanel(o), app.setPlaybackTime(o),
// app.setPlayHighlight(on).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/MRUiContext.h"

namespace mr {

class MRControlPanelViewController {
 public:
  static constexpr double kPlaybackTimeInterval = 0.5;
  static constexpr int kSpaceKeyCode = 32;

  struct Actions {
    // The current-track area was tapped.
    std::function<void()> currentTrack;
    // The image button: show or hide the video.
    std::function<void()> toggleVideo;
    std::function<bool()> videoVisible;
  };

  MRControlPanelViewController(MRUiContext& context, std::function<void(const std::string&)> send,
                               Actions actions);
  ~MRControlPanelViewController();

  // "play", "forward", "backward", "rewind", "currentTrack", "image",
  // "seek" (`position` in seconds).
  void performAction(const std::string& action, const AppParams& params);
  void playButtonAction();
  // True when the key was the panel's (the space bar).
  bool keyDown(int code);
  bool keyUp(int code);

  // The panel's state and the time, sent again.
  void render();
  void sendPlaybackTime();
  Value state() const;
  bool isTimerRunning() const { return timer_.has_value(); }

 private:
  void playerDidChange();
  void updateTimer();

  MRUiContext& context_;
  std::function<void(const std::string&)> send_;
  Actions actions_;
  std::optional<TimerId> timer_;
  std::vector<NotificationCenter::Token> observers_;
};

// The label of a preview source on the panel ("iTunes Store", ...).
std::string previewSourceLabel(MRPreviewSourceID sourceID);

}  // namespace mr
