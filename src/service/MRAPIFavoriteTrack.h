// The listener's favourite tracks on the service, and sharing them on the
// listener's linked social accounts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRFavoriteTrackDocument.h"
#include "model/MRPlaylistTrackItem.h"
#include "service/MRAPIEndpoint.h"
#include "service/ovloConnectionList.h"

namespace mr {

class MRAPIFavoriteTrack : public MRAPIEndpoint {
 public:
  // (true, one favourite per dictionary element) when the call succeeded
  // with an array result, else (false, none).
  using FavoritesCompletion = std::function<void(
      bool success, const std::optional<std::vector<MRFavoriteTrackDocument>>& favorites)>;

  explicit MRAPIFavoriteTrack(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "favorite_track/add" and "favorite_track/remove": the item's artist,
  // title, artwork (left out when empty) and "favoritedAt", the favourite
  // date in whole seconds since 1970 (0 for an item that has none).
  std::shared_ptr<HttpOperation> addWithPlaylistTrackItem(const MRPlaylistTrackItem& item,
                                                          MRAPISuccessBlock completion,
                                                          MRAPIErrorBlock error) const;
  std::shared_ptr<HttpOperation> removeWithPlaylistTrackItem(const MRPlaylistTrackItem& item,
                                                             MRAPISuccessBlock completion,
                                                             MRAPIErrorBlock error) const;
  // "favorite_track/share" on the given connections. Sends nothing, and
  // returns nullptr, when there are none.
  std::shared_ptr<HttpOperation> shareWithWtid(const std::string& wtid,
                                               const std::vector<int64_t>& connectionIds,
                                               MRAPISuccessBlock completion,
                                               MRAPIErrorBlock error) const;
  // "favorite_track/get": the listener's favourites.
  std::shared_ptr<HttpOperation> getMyFavorites(FavoritesCompletion completion,
                                                MRAPIErrorBlock error) const;

  // The connections a new favourite is shared on: none unless the listener
  // turned automatic sharing on; then the cids of the Facebook connections
  // (when sharing on Facebook is on), followed by those of the Twitter
  // connections (when sharing on Twitter is on). Reads the settings of the
  // engine's surroundings.
  std::vector<int64_t> arrayOfCidForAutoSharing(
      const std::shared_ptr<ovloConnectionList>& connections =
          ovloConnectionList::sharedConnectionList()) const;
};

}  // namespace mr
