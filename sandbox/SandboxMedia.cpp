#include "sandbox/SandboxMedia.h"

#include <cmath>

#include "base/FileUtil.h"
#include "base/Log.h"
#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
namespace {

// Part of the names, so files an older sandbox made are not served for new ones.
constexpr const char* kVersion = "v2";

// As long as the iTunes Store's previews, so a mix on the sandbox cross-fades
// (five seconds before the end) as it would for real.
constexpr double kPreviewSeconds = 30.0;

Error noSuchFile(int index) {
  return sandboxError(SandboxError::NotFound, "no media file " + std::to_string(index));
}

}  // namespace

Tone SandboxMedia::previewTone(int index) {
  // A pentatonic scale from middle C, so the previews sound apart.
  static constexpr double kSemitones[kPreviewCount] = {0, 2, 4, 7, 9, 12, 14, 16};
  Tone tone;
  tone.frequency = 261.63 * std::pow(2.0, kSemitones[index % kPreviewCount] / 12.0);
  tone.seconds = kPreviewSeconds;
  return tone;
}

VideoClip SandboxMedia::streamClip(int index) {
  static constexpr int kWidths[kStreamCount] = {256, 192, 128, 96};
  static constexpr int kRates[kStreamCount] = {15, 12, 10, 8};
  const int quality = index % kStreamCount;
  VideoClip video;
  video.width = kWidths[quality];
  video.height = kWidths[quality] * 9 / 16;
  video.framesPerSecond = kRates[quality];
  video.tone.seconds = kPreviewSeconds;
  video.tone.frequency = 196.0 * (1 + quality * 0.25);
  video.red = static_cast<uint8_t>(40 + 50 * quality);
  video.green = static_cast<uint8_t>(90 + 20 * quality);
  video.blue = static_cast<uint8_t>(160 - 30 * quality);
  return video;
}

std::string SandboxMedia::previewPath(int index) const {
  return folder_ + "/preview-" + kVersion + "-" + std::to_string(index) + ".m4a";
}

std::string SandboxMedia::streamPath(int index) const {
  return folder_ + "/stream-" + kVersion + "-" + std::to_string(index) + ".mp4";
}

template <class Make>
Result<std::shared_ptr<const std::string>> SandboxMedia::load(Slot& slot, const std::string& path,
                                                              Make make) {
  // Encoding under the slot's lock makes waiting requests share one file.
  std::lock_guard lock(slot.mutex);
  if (slot.bytes) return slot.bytes;
  if (!fileExists(path)) {
    if (Status made = makeDirectories(folder_); !made.ok()) return made.error();
    if (Status made = make(path); !made.ok()) return made.error();
    log::debug("sandbox: made {}", path);
  }
  auto bytes = readFileToString(path);
  if (!bytes.ok()) return bytes.error();
  slot.bytes = std::make_shared<const std::string>(std::move(bytes.value()));
  return slot.bytes;
}

Result<std::shared_ptr<const std::string>> SandboxMedia::preview(int index) {
  if (index < 0 || index >= kPreviewCount) return noSuchFile(index);
  return load(previews_[static_cast<size_t>(index)], previewPath(index),
              [index](const std::string& path) {
                return MediaMaker::writeAudio(path, previewTone(index));
              });
}

Result<std::shared_ptr<const std::string>> SandboxMedia::stream(int index) {
  if (index < 0 || index >= kStreamCount) return noSuchFile(index);
  return load(
      streams_[static_cast<size_t>(index)], streamPath(index),
      [index](const std::string& path) { return MediaMaker::writeVideo(path, streamClip(index)); });
}

}  // namespace mr::sandbox
