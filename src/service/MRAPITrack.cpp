#include "service/MRAPITrack.h"

#include "base/Json.h"
#include "base/SystemLocale.h"
#include "service/MRAPIArtist.h"

namespace mr {

namespace {

void setIfPresent(Value& dictionary, const char* key, const std::string& text) {
  if (!text.empty()) dictionary.set(key, Value(text));
}

// The source's facts through the view of its kind; an empty view when it
// has none.
template <class Info>
Info infoOf(const MRPreviewDataSource& source) {
  if (source.additionalInfo) {
    if (const Dictionary* facts = source.additionalInfo->data().asDictionary()) return Info(*facts);
  }
  return Info();
}

void reportTrackUpdate(const MRAPITrack::TrackUpdateCompletion& done,
                       const std::optional<ovloRequestAPIResult>& envelope, bool needsDictionary) {
  if (!envelope || envelope->errorCode != 0 ||
      (needsDictionary && !(envelope->result && envelope->result->isDictionary()))) {
    done(false, std::nullopt, std::nullopt, std::nullopt);
    return;
  }
  const Value& result = MRAPIEndpoint::resultOrNull(envelope);
  done(true, result.stringForKey("wtid"), result.stringForKey("waid"),
       result.stringForKey("trackViewUrl"));
}

void deliverTrack(const MRAPITrack::TrackCompletion& done, const ovloRequestResponse& response) {
  const auto envelope = MRAPIEndpoint::envelopeOf(response);
  done(envelope && envelope->successful(),
       MRAPIEndpoint::documentOfResult<MRTrackDocument>(envelope));
}

}  // namespace

Value MRAPITrack::serializeTrackMetaDataFromTrackItem(const MRPlaylistTrackItem& item) {
  Value dictionary = Value::dictionary();
  setIfPresent(dictionary, "trackTitle", item.title);
  setIfPresent(dictionary, "artistName", item.artist);
  setIfPresent(dictionary, "artworkUrl", item.imageUrl);
  if (const MRPreviewDataSource* video = item.youTubePreviewDataSource()) {
    setIfPresent(dictionary, "youTubeVideoId", infoOf<MRYouTubeAdditionalInfo>(*video).videoID());
  }
  if (const MRPreviewDataSource* store = item.iTunesPreviewDataSource()) {
    const auto info = infoOf<MRiTunesAdditionalInfo>(*store);
    setIfPresent(dictionary, "iTunesStoreTrackViewUrl", info.trackViewUrl());
    setIfPresent(dictionary, "iTunesStoreCountry", currentRegionCode());
    // The source's URL, else the one of the search answer it came from.
    setIfPresent(dictionary, "iTunesStorePreviewUrl",
                 store->hasPreviewUrl() ? *store->previewUrl : info.previewUrl());
  }
  return dictionary;
}

std::string MRAPITrack::serializeWithJSONTrackInfoForTrackItem(const MRPlaylistTrackItem& item) {
  return toJson(serializeTrackMetaDataFromTrackItem(item));
}

std::shared_ptr<HttpOperation> MRAPITrack::updateWithTrackItem(const MRPlaylistTrackItem& item,
                                                               TrackUpdateCompletion completion,
                                                               MRAPIErrorBlock error) const {
  return post("track/update",
              Dictionary{{"track", Value(serializeWithJSONTrackInfoForTrackItem(item))}},
              answer(std::move(completion),
                     [](const TrackUpdateCompletion& done, const ovloRequestResponse& response) {
                       reportTrackUpdate(done, envelopeOf(response), true);
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::updateWithTrackItem(
    const MRPlaylistTrackItem& item, const LastfmArtist& artist,
    const std::optional<std::string>& language, TrackUpdateCompletion completion,
    MRAPIErrorBlock error) const {
  return post(
      "track/update_with_artist",
      Dictionary{
          {"track", Value(serializeWithJSONTrackInfoForTrackItem(item))},
          {"artist", Value(MRAPIArtist::makeArtistParameterWithLastFMArtist(artist, language))}},
      answer(std::move(completion),
             [](const TrackUpdateCompletion& done, const ovloRequestResponse& response) {
               reportTrackUpdate(done, envelopeOf(response), true);
             }),
      std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::addComment(const std::string& comment,
                                                      const std::string& wtid,
                                                      const std::vector<int64_t>& shareOn,
                                                      TrackUpdateCompletion completion,
                                                      MRAPIErrorBlock error) const {
  Array connections(shareOn.begin(), shareOn.end());
  return post("track/add_comment",
              Dictionary{{"comment", Value(comment)},
                         {"wtid", Value(wtid)},
                         {"shareOn", Value(toJson(Value(std::move(connections))))}},
              answer(std::move(completion),
                     [](const TrackUpdateCompletion& done, const ovloRequestResponse& response) {
                       reportTrackUpdate(done, envelopeOf(response), false);
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::getWithArtistName(const std::string& artistName,
                                                             const std::string& trackTitle,
                                                             TrackCompletion completion,
                                                             MRAPIErrorBlock error) const {
  return post("track/get",
              Dictionary{{"artistName", Value(artistName)}, {"trackTitle", Value(trackTitle)}},
              answer(std::move(completion), deliverTrack), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::getWithWtid(const std::string& wtid,
                                                       TrackCompletion completion,
                                                       MRAPIErrorBlock error) const {
  return post("track/get", Dictionary{{"wtid", Value(wtid)}},
              answer(std::move(completion), deliverTrack), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::getWithWaid(const std::string& waid,
                                                       const std::optional<Value>& fields,
                                                       TracksCompletion completion,
                                                       MRAPIErrorBlock error) const {
  return post("track/get_with_waid",
              Dictionary{{"waid", Value(waid)}, {"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion), reportDocumentList<MRTrackDocument>), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPITrack::playbackWithWtid(const std::string& wtid,
                                                            PlaybackCompletion completion,
                                                            MRAPIErrorBlock error) const {
  return post("track/playback", Dictionary{{"wtid", Value(wtid)}},
              answer(std::move(completion),
                     [](const PlaybackCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       if (!envelope) {
                         done(false, std::nullopt);
                         return;
                       }
                       const Value* result = presentResult(*envelope);
                       if (!envelope->successful() || result == nullptr) {
                         done(envelope->successful(), std::nullopt);
                         return;
                       }
                       done(true, MRFanDocument(*result));
                     }),
              std::move(error));
}

}  // namespace mr
