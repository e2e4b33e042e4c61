// The tracks the listener played, as the service records them.
#pragma once

#include <string>

#include "model/MRPlaylistTrackItem.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIPlaybackHistory : public MRAPIEndpoint {
 public:
  explicit MRAPIPlaybackHistory(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "playback_history/add": the item's artist, title and artwork (left out
  // when empty), and the name of the playlist it was played from.
  std::shared_ptr<HttpOperation> addWithPlaylistTrackItem(const MRPlaylistTrackItem& item,
                                                          const std::string& playlistName,
                                                          MRAPIStatusBlock completion,
                                                          MRAPIErrorBlock error) const;
};

}  // namespace mr
