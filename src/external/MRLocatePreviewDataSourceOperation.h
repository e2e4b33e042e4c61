// Finding where a track's preview lives: an iTunes Store song preview and
// the track's music video, looked for at once, within 30 seconds together.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Env.h"
#include "base/Operation.h"
#include "base/OperationQueue.h"
#include "external/YouTubeVideoAPI.h"
#include "external/iTunesSearchAPI.h"
#include "model/MRPreviewDataSource.h"

namespace mr {

// What preview location talks to: the two sites, and the iTunes Store
// country to search (the listener's, asked each time).
struct MRPreviewSites {
  std::shared_ptr<iTunesSearchAPI> iTunes;
  std::shared_ptr<YouTubeVideoAPI> video;
  std::function<std::string()> countryCode;
};

// Searches the iTunes Store by artist and title and takes the first song
// with a preview. Gives up 30 seconds after it started, or when cancelled;
// onCompletion runs on the operation's thread in every case. No source and
// no error: the store has no such song; no source and an error: the store
// could not be asked (a time-out when its 30 seconds ran out).
class MRLocateITunesPreviewDataSourceOperation final : public Operation {
 public:
  MRLocateITunesPreviewDataSourceOperation(const Env& env, MRPreviewSites sites, std::string title,
                                           std::string artist);
  void main() override;

  const std::string& title() const { return title_; }
  const std::string& artist() const { return artist_; }
  std::optional<MRPreviewDataSource> previewDataSource() const;
  std::optional<Error> lastError() const;
  void setOnCompletion(std::function<void(MRLocateITunesPreviewDataSourceOperation&)> block);

  // The source made from the first result of kind "song" with a preview
  // URL, located at `now`; none when there is no such result.
  static std::optional<MRPreviewDataSource> previewDataSourceFromEntries(
      const std::vector<iTunesEntry>& entries, Date now);

 private:
  const Env& env_;
  MRPreviewSites sites_;
  const std::string title_;
  const std::string artist_;
  mutable std::mutex mutex_;
  std::optional<MRPreviewDataSource> previewDataSource_;
  std::optional<Error> lastError_;
  std::function<void(MRLocateITunesPreviewDataSourceOperation&)> onCompletion_;
};

// Asks the music-video resolver; a chosen video becomes a source without a
// preview URL (its stream is extracted just before playing). Waits until
// the answer or a cancel; the caller's deadline applies. An error when the
// site could not be asked, none when it answered, with a video or without.
class MRLocateYouTubePreviewDataSourceOperation final : public Operation {
 public:
  MRLocateYouTubePreviewDataSourceOperation(const Env& env, MRPreviewSites sites, std::string title,
                                            std::string artist);
  void main() override;

  std::optional<MRPreviewDataSource> previewDataSource() const;
  std::optional<Error> lastError() const;
  void setOnCompletion(std::function<void(MRLocateYouTubePreviewDataSourceOperation&)> block);

  static MRPreviewDataSource previewDataSourceFromEntry(const YouTubeVideoEntry& entry, Date now);

 private:
  const Env& env_;
  MRPreviewSites sites_;
  const std::string title_;
  const std::string artist_;
  mutable std::mutex mutex_;
  std::optional<MRPreviewDataSource> previewDataSource_;
  std::optional<Error> lastError_;
  std::function<void(MRLocateYouTubePreviewDataSourceOperation&)> onCompletion_;
};

// Both finders at once on a queue of its own; one 30-second deadline for
// the two. A finder still running at the deadline is cancelled and adds
// nothing.
class MRLocatePreviewDataSourceOperation final : public Operation {
 public:
  static constexpr int kDeadlineSeconds = 30;

  MRLocatePreviewDataSourceOperation(const Env& env, MRPreviewSites sites, std::string title,
                                     std::string artist);
  void main() override;
  // Also cancels both finders.
  void cancel() override;

  const std::string& title() const { return title_; }
  const std::string& artist() const { return artist_; }
  // The sources found: none, one or two (iTunes first when both).
  std::vector<MRPreviewDataSource> previewDataSourceSet() const;
  // Why a site could not be asked (the store's reason first; a time-out
  // for a finder still out at the deadline). None when both answered, so
  // an empty set then means there is no preview to be had.
  std::optional<Error> lastError() const;
  // Both run on the operation's thread.
  void setBeginningBlock(std::function<void(MRLocatePreviewDataSourceOperation&)> block);
  void setOnCompletion(std::function<void(MRLocatePreviewDataSourceOperation&)> block);

 private:
  const Env& env_;
  MRPreviewSites sites_;
  const std::string title_;
  const std::string artist_;
  mutable std::mutex mutex_;
  std::vector<MRPreviewDataSource> previewDataSourceSet_;
  std::optional<Error> iTunesError_;
  std::optional<Error> videoError_;
  std::function<void(MRLocatePreviewDataSourceOperation&)> beginning_;
  std::function<void(MRLocatePreviewDataSourceOperation&)> onCompletion_;
  std::shared_ptr<OperationQueue> finders_;
};

}  // namespace mr
