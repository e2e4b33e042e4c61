// The media files the sandbox serves: a small shared set of previews and
// video streams that the catalogue's tracks and videos reuse. Each file is
// made on its first request (in the media folder, kept for later runs) and
// then held in memory, so starting the sandbox costs nothing and a file is
// encoded once however many requests arrive for it at the same time.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>

#include "base/Error.h"
#include "sandbox/MediaMaker.h"

namespace mr::sandbox {

class SandboxMedia {
 public:
  static constexpr int kPreviewCount = 8;
  // Streams from the best quality (0) to the worst (3), as stream maps list them.
  static constexpr int kStreamCount = 4;

  explicit SandboxMedia(std::string folder) : folder_(std::move(folder)) {}

  // A stereo tone of 30 seconds whose pitch differs per file.
  static Tone previewTone(int index);
  // Smaller pictures for lower qualities; 30 seconds each.
  static VideoClip streamClip(int index);

  std::string previewPath(int index) const;
  std::string streamPath(int index) const;

  // The file's bytes (an M4A), made when missing.
  Result<std::shared_ptr<const std::string>> preview(int index);
  // The file's bytes (an MP4), made when missing.
  Result<std::shared_ptr<const std::string>> stream(int index);

 private:
  struct Slot {
    std::mutex mutex;
    std::shared_ptr<const std::string> bytes;
  };
  template <class Make>
  Result<std::shared_ptr<const std::string>> load(Slot& slot, const std::string& path, Make make);

  std::string folder_;
  std::array<Slot, kPreviewCount> previews_;
  std::array<Slot, kStreamCount> streams_;
};

}  // namespace mr::sandbox
