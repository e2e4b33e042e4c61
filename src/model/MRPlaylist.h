// A mix as the screens see it: an ordered list of track items that grows
// while the mix is built, and a view delegate told of each new item.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "model/MRPlaylistTrackItem.h"

namespace mr {

class MRPlaylist;

class MRPlaylistViewDelegate {
 public:
  virtual ~MRPlaylistViewDelegate() = default;
  // On the main thread, once the item is in the list at that index.
  virtual void playlistHasNewTrack(MRPlaylist& playlist,
                                   const std::shared_ptr<MRPlaylistTrackItem>& item,
                                   size_t index) = 0;
  virtual void playlistDidFinishToLoadTracks(MRPlaylist&) {}
};

class MRPlaylist {
 public:
  virtual ~MRPlaylist() = default;

  size_t numberOfTracks() const;
  std::shared_ptr<MRPlaylistTrackItem> trackItemForIndex(size_t index) const;
  // The position of that very item, or none.
  std::optional<size_t> indexOfTrackItem(const MRPlaylistTrackItem* item) const;
  std::vector<std::shared_ptr<MRPlaylistTrackItem>> tracks() const;
  // Takes the item at `index` out of the list (a track the listener
  // unfavorited or banned); on the main thread. nullptr when there is none.
  // The view delegate is not told: the screen that removes it knows.
  std::shared_ptr<MRPlaylistTrackItem> removeTrackAtIndex(size_t index);

  std::shared_ptr<MRPlaylistViewDelegate> viewDelegate() const;
  void setViewDelegate(std::weak_ptr<MRPlaylistViewDelegate> delegate);

 protected:
  // Puts the item at `index` (at most the end) and tells the delegate; on
  // the main thread. Returns where it went.
  size_t insertTrack(std::shared_ptr<MRPlaylistTrackItem> item, size_t index);
  size_t appendTrack(std::shared_ptr<MRPlaylistTrackItem> item);

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<MRPlaylistTrackItem>> arrTracks_;
  std::weak_ptr<MRPlaylistViewDelegate> viewDelegate_;
};

}  // namespace mr
