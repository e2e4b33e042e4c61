// The first-run tips: each shown once over the main window, while its
// instruction switch is on, and switched off as it is shown. The window
// draws them; this decides which and when.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Settings.h"

namespace mr {

class MRInstructionWindowController {
 public:
  // `show` puts the tip of a kind ("welcome", "playbackControl", "caching",
  // "musicProfile") on the screen.
  using Show = std::function<void(const std::string& kind)>;

  MRInstructionWindowController(Settings& settings, Show show)
      : settings_(settings), show_(std::move(show)) {}

  // Each returns whether its tip was shown now.
  bool showWelcomeMessage();
  bool showAboutPlaybackControl();
  bool showAboutCaching();
  bool showAboutMusicProfile();

 private:
  bool offer(uint32_t flag, const char* kind);

  Settings& settings_;
  Show show_;
};

}  // namespace mr
