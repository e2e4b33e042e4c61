#include "ui/MRInstructionWindowController.h"

#include "base/Log.h"
#include "base/MRUserDefaults.h"

namespace mr {

bool MRInstructionWindowController::offer(uint32_t flag, const char* kind) {
  MRInstructionSwitch switches(settings_);
  if (!switches.isOn(flag)) return false;
  if (show_) show_(kind);
  // Not remembered: the tip comes once more, which is all it costs.
  if (auto written = switches.setSwitch(false, flag); !written.ok()) {
    log::warning("Instruction {}: {}", kind, written.error().description());
  }
  return true;
}

bool MRInstructionWindowController::showWelcomeMessage() {
  return offer(MRInstructionSwitch::kWelcomeMessage, "welcome");
}

bool MRInstructionWindowController::showAboutPlaybackControl() {
  return offer(MRInstructionSwitch::kPlaybackControl, "playbackControl");
}

bool MRInstructionWindowController::showAboutCaching() {
  return offer(MRInstructionSwitch::kCaching, "caching");
}

bool MRInstructionWindowController::showAboutMusicProfile() {
  return offer(MRInstructionSwitch::kMusicProfile, "musicProfile");
}

}  // namespace mr
