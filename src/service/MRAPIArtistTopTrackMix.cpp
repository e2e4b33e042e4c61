#include "service/MRAPIArtistTopTrackMix.h"

#include "base/Json.h"
#include "service/MRAPIArtist.h"
#include "service/MRAPITrack.h"
#include "service/ovloAccount.h"

namespace mr {

Value MRAPIArtistTopTrackMix::composeDataFromArtistInfo(const LastfmArtist& artist,
                                                        const TrackItems& tracks) {
  Array trackDictionaries;
  trackDictionaries.reserve(tracks.size());
  for (const auto& track : tracks) {
    if (track) trackDictionaries.push_back(MRAPITrack::serializeTrackMetaDataFromTrackItem(*track));
  }
  Value mix = Value::dictionary();
  mix.set("artist",
          MRAPIArtist::serializeArtistMetaDataWithLastFMArtist(artist, MRCurrentLanguage()));
  mix.set("tracks", Value(std::move(trackDictionaries)));
  return mix;
}

std::string MRAPIArtistTopTrackMix::serializeIntoJSONFromArtistInfo(const LastfmArtist& artist,
                                                                    const TrackItems& tracks) {
  return toJson(composeDataFromArtistInfo(artist, tracks));
}

std::shared_ptr<HttpOperation> MRAPIArtistTopTrackMix::updateWithArtistInfo(
    const LastfmArtist& artist, const TrackItems& tracks, MRAPIStatusBlock completion,
    MRAPIErrorBlock error) const {
  return post("artist_top_track_mix/update",
              Dictionary{{"mix", Value(serializeIntoJSONFromArtistInfo(artist, tracks))}},
              answer(std::move(completion), reportStatus), std::move(error));
}

}  // namespace mr
