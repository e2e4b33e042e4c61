// Which playlist screen shows a mix: the artist top-track view for an
// artist's top tracks, the general playlist view for every other mix.
#pragma once

#include <memory>

#include "model/MRPlaylist.h"

namespace mr {

enum class MRPlaylistViewKind { General, ArtistTopTrackMix };

struct MRPlaylistViewChoice {
  MRPlaylistViewKind kind = MRPlaylistViewKind::General;
  std::shared_ptr<MRPlaylist> playlist;
};

class MRPlaylistViewControllerFactory {
 public:
  static MRPlaylistViewChoice playlistViewControllerForPlaylist(
      std::shared_ptr<MRPlaylist> playlist);
};

}  // namespace mr
