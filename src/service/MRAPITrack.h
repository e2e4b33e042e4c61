// Tracks on the Mirelune service: registering the ones the listener meets,
// comments, plays, and reading track documents. Also the track JSON that
// the track and mix calls send.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/LastfmArtist.h"
#include "model/MRFanDocument.h"
#include "model/MRPlaylistTrackItem.h"
#include "model/MRTrackDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPITrack : public MRAPIEndpoint {
 public:
  // (true, the track's id, its artist's id and its store page, each read
  // as text from the result) or (false, none, none, none).
  using TrackUpdateCompletion = std::function<void(
      bool success, const std::optional<std::string>& wtid, const std::optional<std::string>& waid,
      const std::optional<std::string>& trackViewUrl)>;
  // (success, the document of the result as it came back). Without an
  // envelope: (false, a document without a dictionary).
  using TrackCompletion = std::function<void(bool success, const MRTrackDocument& track)>;
  // (success, one track per element of an array result, else empty).
  using TracksCompletion =
      std::function<void(bool success, const std::vector<MRTrackDocument>& tracks)>;
  // (success, the fan relation when the call succeeded with a result, else
  // none).
  using PlaybackCompletion =
      std::function<void(bool success, const std::optional<MRFanDocument>& fan)>;

  explicit MRAPITrack(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "track/update" with the track JSON as "track". Succeeds only with a
  // dictionary result.
  std::shared_ptr<HttpOperation> updateWithTrackItem(const MRPlaylistTrackItem& item,
                                                     TrackUpdateCompletion completion,
                                                     MRAPIErrorBlock error) const;
  // "track/update_with_artist": the same, with the Last.fm artist JSON as
  // "artist".
  std::shared_ptr<HttpOperation> updateWithTrackItem(const MRPlaylistTrackItem& item,
                                                     const LastfmArtist& artist,
                                                     const std::optional<std::string>& language,
                                                     TrackUpdateCompletion completion,
                                                     MRAPIErrorBlock error) const;
  // "track/add_comment", shared on the given connections ("[]" for none).
  // Succeeds on error code 0, whatever the result.
  std::shared_ptr<HttpOperation> addComment(const std::string& comment, const std::string& wtid,
                                            const std::vector<int64_t>& shareOn,
                                            TrackUpdateCompletion completion,
                                            MRAPIErrorBlock error) const;
  // "track/get", by artist and title or by the track's id.
  std::shared_ptr<HttpOperation> getWithArtistName(const std::string& artistName,
                                                   const std::string& trackTitle,
                                                   TrackCompletion completion,
                                                   MRAPIErrorBlock error) const;
  std::shared_ptr<HttpOperation> getWithWtid(const std::string& wtid, TrackCompletion completion,
                                             MRAPIErrorBlock error) const;
  // "track/get_with_waid": the tracks of an artist.
  std::shared_ptr<HttpOperation> getWithWaid(const std::string& waid,
                                             const std::optional<Value>& fields,
                                             TracksCompletion completion,
                                             MRAPIErrorBlock error) const;
  // "track/playback": the listener played the track.
  std::shared_ptr<HttpOperation> playbackWithWtid(const std::string& wtid,
                                                  PlaybackCompletion completion,
                                                  MRAPIErrorBlock error) const;

  // The service's track dictionary: "trackTitle", "artistName",
  // "artworkUrl"; with a video preview "youTubeVideoId"; with an iTunes
  // Store preview "iTunesStoreTrackViewUrl", "iTunesStoreCountry" (the
  // current locale's region) and "iTunesStorePreviewUrl". Empty values
  // leave their member out.
  static Value serializeTrackMetaDataFromTrackItem(const MRPlaylistTrackItem& item);
  // Its compact JSON text.
  static std::string serializeWithJSONTrackInfoForTrackItem(const MRPlaylistTrackItem& item);
};

}  // namespace mr
