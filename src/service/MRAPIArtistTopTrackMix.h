// Artist top-track mixes the listener built, shared with the service.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/LastfmArtist.h"
#include "model/MRPlaylistTrackItem.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIArtistTopTrackMix : public MRAPIEndpoint {
 public:
  using TrackItems = std::vector<std::shared_ptr<MRPlaylistTrackItem>>;

  explicit MRAPIArtistTopTrackMix(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "artist_top_track_mix/update" with the mix JSON as "mix".
  std::shared_ptr<HttpOperation> updateWithArtistInfo(const LastfmArtist& artist,
                                                      const TrackItems& tracks,
                                                      MRAPIStatusBlock completion,
                                                      MRAPIErrorBlock error) const;

  // {"artist": the Last.fm artist dictionary in the listener's current
  // language, "tracks": the track dictionary of each item, in order}. Null
  // items are skipped.
  static Value composeDataFromArtistInfo(const LastfmArtist& artist, const TrackItems& tracks);
  // Its compact JSON text.
  static std::string serializeIntoJSONFromArtistInfo(const LastfmArtist& artist,
                                                     const TrackItems& tracks);
};

}  // namespace mr
