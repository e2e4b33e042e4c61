// What the window asks of a playlist screen beyond MRScreen: the playlist it
// shows and scrolling to the playing row. A playlist screen that implements
// it is scrolled when the listener taps the current track.
#pragma once

#include <memory>

#include "model/MRPlaylist.h"

namespace mr {

class MRPlaylistShowing {
 public:
  virtual ~MRPlaylistShowing() = default;
  virtual void scrollToPlayingRow() = 0;
};

}  // namespace mr
