#include "model/MRPlaylist.h"

#include <algorithm>

namespace mr {

size_t MRPlaylist::numberOfTracks() const {
  std::lock_guard guard(mutex_);
  return arrTracks_.size();
}

std::shared_ptr<MRPlaylistTrackItem> MRPlaylist::trackItemForIndex(size_t index) const {
  std::lock_guard guard(mutex_);
  return index < arrTracks_.size() ? arrTracks_[index] : nullptr;
}

std::optional<size_t> MRPlaylist::indexOfTrackItem(const MRPlaylistTrackItem* item) const {
  std::lock_guard guard(mutex_);
  for (size_t i = 0; i < arrTracks_.size(); ++i) {
    if (arrTracks_[i].get() == item) return i;
  }
  return std::nullopt;
}

std::vector<std::shared_ptr<MRPlaylistTrackItem>> MRPlaylist::tracks() const {
  std::lock_guard guard(mutex_);
  return arrTracks_;
}

std::shared_ptr<MRPlaylistViewDelegate> MRPlaylist::viewDelegate() const {
  std::lock_guard guard(mutex_);
  return viewDelegate_.lock();
}

void MRPlaylist::setViewDelegate(std::weak_ptr<MRPlaylistViewDelegate> delegate) {
  std::lock_guard guard(mutex_);
  viewDelegate_ = std::move(delegate);
}

size_t MRPlaylist::insertTrack(std::shared_ptr<MRPlaylistTrackItem> item, size_t index) {
  std::shared_ptr<MRPlaylistViewDelegate> delegate;
  {
    std::lock_guard guard(mutex_);
    index = std::min(index, arrTracks_.size());
    arrTracks_.insert(arrTracks_.begin() + static_cast<std::ptrdiff_t>(index), item);
    delegate = viewDelegate_.lock();
  }
  if (delegate) delegate->playlistHasNewTrack(*this, item, index);
  return index;
}

std::shared_ptr<MRPlaylistTrackItem> MRPlaylist::removeTrackAtIndex(size_t index) {
  std::lock_guard guard(mutex_);
  if (index >= arrTracks_.size()) return nullptr;
  auto item = std::move(arrTracks_[index]);
  arrTracks_.erase(arrTracks_.begin() + static_cast<std::ptrdiff_t>(index));
  return item;
}

size_t MRPlaylist::appendTrack(std::shared_ptr<MRPlaylistTrackItem> item) {
  return insertTrack(std::move(item), static_cast<size_t>(-1));
}

}  // namespace mr
