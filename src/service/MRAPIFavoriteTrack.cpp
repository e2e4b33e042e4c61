#include "service/MRAPIFavoriteTrack.h"

#include <cmath>

#include "base/Json.h"
#include "base/MRUserDefaults.h"

namespace mr {

namespace {

// Whole seconds, never negative: the service reads an unsigned count.
uint64_t favoritedAtSeconds(const MRPlaylistTrackItem& item) {
  const auto* favorite = dynamic_cast<const MRFavoriteTrackMixTrackItem*>(&item);
  if (favorite == nullptr || !favorite->favoritedAt) return 0;
  const double seconds = favorite->favoritedAt->secondsSince1970;
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  return static_cast<uint64_t>(seconds);
}

Dictionary favoriteParameters(const MRPlaylistTrackItem& item) {
  Dictionary parameters = MRAPIEndpoint::trackItemParameters(item);
  parameters.set("favoritedAt", Value(favoritedAtSeconds(item)));
  return parameters;
}

}  // namespace

std::shared_ptr<HttpOperation> MRAPIFavoriteTrack::addWithPlaylistTrackItem(
    const MRPlaylistTrackItem& item, MRAPISuccessBlock completion, MRAPIErrorBlock error) const {
  return post("favorite_track/add", favoriteParameters(item),
              answer(std::move(completion), reportSuccess), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIFavoriteTrack::removeWithPlaylistTrackItem(
    const MRPlaylistTrackItem& item, MRAPISuccessBlock completion, MRAPIErrorBlock error) const {
  return post("favorite_track/remove", favoriteParameters(item),
              answer(std::move(completion), reportSuccess), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIFavoriteTrack::shareWithWtid(
    const std::string& wtid, const std::vector<int64_t>& connectionIds,
    MRAPISuccessBlock completion, MRAPIErrorBlock error) const {
  if (connectionIds.empty()) return nullptr;
  Array shareOn(connectionIds.begin(), connectionIds.end());
  return post(
      "favorite_track/share",
      Dictionary{{"shareOn", Value(toJson(Value(std::move(shareOn))))}, {"wtid", Value(wtid)}},
      answer(std::move(completion), reportSuccess), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIFavoriteTrack::getMyFavorites(FavoritesCompletion completion,
                                                                  MRAPIErrorBlock error) const {
  return post("favorite_track/get", Dictionary{},
              answer(std::move(completion),
                     [](const FavoritesCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       const Array* elements =
                           envelope && envelope->result ? envelope->result->asArray() : nullptr;
                       if (elements == nullptr || envelope->errorCode != 0) {
                         done(false, std::nullopt);
                         return;
                       }
                       std::vector<MRFavoriteTrackDocument> favorites;
                       favorites.reserve(elements->size());
                       for (const Value& element : *elements) {
                         if (element.isDictionary()) favorites.emplace_back(element);
                       }
                       done(true, favorites);
                     }),
              std::move(error));
}

std::vector<int64_t> MRAPIFavoriteTrack::arrayOfCidForAutoSharing(
    const std::shared_ptr<ovloConnectionList>& connections) const {
  std::vector<int64_t> cids;
  if (!engine() || !connections) return cids;
  const Env& env = engine()->env();
  const MRUserDefaults defaults(env.settings(), env.paths().home);
  if (!defaults.autoSharingOnFavorite()) return cids;
  if (defaults.shareOnFacebook()) {
    for (const auto& item : connections->itemsOfService("facebook"))
      cids.push_back(item.cid);
  }
  if (defaults.shareOnTwitter()) {
    for (const auto& item : connections->itemsOfService("twitter"))
      cids.push_back(item.cid);
  }
  return cids;
}

}  // namespace mr
