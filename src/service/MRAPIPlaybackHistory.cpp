#include "service/MRAPIPlaybackHistory.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIPlaybackHistory::addWithPlaylistTrackItem(
    const MRPlaylistTrackItem& item, const std::string& playlistName, MRAPIStatusBlock completion,
    MRAPIErrorBlock error) const {
  Dictionary parameters = trackItemParameters(item);
  parameters.set("playlistName", Value(playlistName));
  return post("playback_history/add", parameters, answer(std::move(completion), reportStatus),
              std::move(error));
}

}  // namespace mr
