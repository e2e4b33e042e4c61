#include "social/MRPlaylistViewControllerFactory.h"

#include "playback/MRArtistTopTrackMix.h"

namespace mr {

MRPlaylistViewChoice MRPlaylistViewControllerFactory::playlistViewControllerForPlaylist(
    std::shared_ptr<MRPlaylist> playlist) {
  MRPlaylistViewChoice choice;
  if (std::dynamic_pointer_cast<MRArtistTopTrackMix>(playlist))
    choice.kind = MRPlaylistViewKind::ArtistTopTrackMix;
  choice.playlist = std::move(playlist);
  return choice;
}

}  // namespace mr
