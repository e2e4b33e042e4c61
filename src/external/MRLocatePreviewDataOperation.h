// Resolving a track item's sources just before it is listed or played: a
// video source knows only its watch page, and its stream address is
// extracted anew each time because stream addresses do not last. Other
// sources need nothing. Resolution never fails: a source that cannot be
// resolved keeps the preview URL it had.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "external/MRLocatePreviewDataSourceOperation.h"

namespace mr {

// One source; a video source is handed to MRLocateYouTubePreviewDataOperation.
class MRLocatePreviewDataOperationForOneSource : public Operation {
 public:
  MRLocatePreviewDataOperationForOneSource(const Env& env, MRPreviewSites sites,
                                           MRPreviewDataSource source);
  void main() override;
  void cancel() override;

  // The source, resolved when that was possible.
  MRPreviewDataSource previewDataSource() const;
  void setBeginningBlock(std::function<void(MRLocatePreviewDataOperationForOneSource&)> block);

 protected:
  const Env& env_;
  MRPreviewSites sites_;
  mutable std::mutex mutex_;
  MRPreviewDataSource previewDataSource_;
  std::function<void(MRLocatePreviewDataOperationForOneSource&)> beginning_;
  std::shared_ptr<Operation> inner_;
};

// Extracts a video's stream: quality 2 on Wi-Fi, else 0. The extractor is
// made and driven on the main thread; this thread waits at most 30 seconds.
class MRLocateYouTubePreviewDataOperation final : public MRLocatePreviewDataOperationForOneSource {
 public:
  static constexpr int kDeadlineSeconds = 30;
  using MRLocatePreviewDataOperationForOneSource::MRLocatePreviewDataOperationForOneSource;
  void main() override;

  // The extractor's quality for the current link.
  static int qualityForStatus(NetworkStatus status);
};

// All sources of an item at once; nothing at all when the item has a cached
// file, which plays without the network.
class MRLocatePreviewDataOperation final : public Operation {
 public:
  MRLocatePreviewDataOperation(const Env& env, MRPreviewSites sites,
                               std::vector<MRPreviewDataSource> subjectPreviewDataSourceSet);
  void main() override;
  void cancel() override;

  // The sources in their order, the video ones now with their stream URL
  // when it could be extracted. Read it once the operation has finished.
  std::vector<MRPreviewDataSource> subjectPreviewDataSourceSet() const;
  // Both run on the operation's thread.
  void setBeginningBlock(std::function<void(MRLocatePreviewDataOperation&)> block);
  void setOnCompletion(std::function<void(MRLocatePreviewDataOperation&)> block);

 private:
  const Env& env_;
  MRPreviewSites sites_;
  mutable std::mutex mutex_;
  std::vector<MRPreviewDataSource> subject_;
  std::function<void(MRLocatePreviewDataOperation&)> beginning_;
  std::function<void(MRLocatePreviewDataOperation&)> onCompletion_;
  std::shared_ptr<OperationQueue> resolvers_;
};

}  // namespace mr
