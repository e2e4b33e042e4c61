#include "social/MRPlaylistViewControllerFactory.h"

#include "playback/MRArtistTopTrackMix.h"

namespace mr {

MRPlaylistViewControllerSpec MRPlaylistViewControllerFactory::playlistViewControllerForPlaylist(
    std::shared_ptr<MRPlaylist> playlist) {
  MRPlaylistViewControllerSpec spec;
  if (std::dynamic_pointer_cast<MRArtistTopTrackMix>(playlist))
    spec.kind = MRPlaylistViewKind::ArtistTopTrackMix;
  spec.playlist = std::move(playlist);
  return spec;
}

}  // namespace mr
