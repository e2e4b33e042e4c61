// The playlist screen: one mix as a list of tracks on its own channel
// ("playlist-N"). The listener plays a track here, opens its store or video
// page, favorites, unfavorites, caches or uncaches it, comments on it, bans
// its artist and branches off into related mixes.
//
// Main thread only. Make it with std::make_shared: it hands weak references
// to itself to the mix (view delegate), the shared playlist player and the
// caching jobs. It attaches itself on its first event (the page's load, a
// request, or a call below), so a screen that was made and dropped leaves
// nothing behind.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/MRServiceOperation.h"
#include "model/MRPlaylist.h"
#include "playback/MRPlaylistPlayer.h"
#include "social/MRFavoriteTrackCaching.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRPlaylistBuildOperation;

class MRPlaylistViewController final
    : public MRScreen,
      public MRPlaylistViewDelegate,
      public MRPlaylistPlayerDelegate,
      public MRTrackPlayerViewDelegate,
      public MRServiceOperationDelegate,
      public std::enable_shared_from_this<MRPlaylistViewController> {
 public:
  // What kind of mix it shows: the destructive action and the cache
  // buttons depend on it.
  enum class MixKind { Recommend, Favorites, History, Artist, Similar, NewRelease, Other };

  MRPlaylistViewController(MRUiContext& context, MRScreenHost& host,
                           std::shared_ptr<MRPlaylist> playlist);
  ~MRPlaylistViewController() override;

  // MRScreen.
  std::string kind() const override { return "playlist"; }
  std::string title() const override;
  // Lets go of the mix's and the player's notices; whatever arrives
  // afterwards (requests, notices, late alert answers) is ignored. The
  // channel's name stays readable for the window.
  void screenWillDisappear() override;

  // ScriptBridgeDelegate: the page's load sends the whole list again.
  void pageDidFinishLoad() override;
  void onAppMessage(const std::string& name, const AppParams& params) override;

  const std::shared_ptr<MRPlaylist>& playlist() const { return playlist_; }
  MixKind mixKind() const { return mixKind_; }
  // The row of the track this screen started (or the player moved on to
  // within this mix), and the row whose menu is open.
  std::optional<size_t> playingIndexPath() const { return playingIndexPath_; }
  std::optional<size_t> revealedIndexPath() const { return revealedIndexPath_; }

  // For the window: brings the playing row into view.
  void scrollToPlayingRow();

  // Attaches the shared player to this mix with this screen as its
  // delegate; false when the row is the track already playing (it is not
  // restarted) or the track cannot start.
  bool prepareToPlayTrackWithIndexPath(size_t row);
  // Favorites the item, or unfavorites it when it is a favorite already;
  // true when it became one. `caching` tells whether a caching job started.
  bool favoriteOrRemoveTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item, bool& caching);
  // Stores the favorite, seeds recommendation with it once, starts its
  // caching (this screen watching) and reports it to the service. False
  // when it could not be stored (an alert says why).
  bool addTrackItemToFavorites(const std::shared_ptr<MRPlaylistTrackItem>& item, bool& caching);
  // Tells the service, deletes the cached files and the record, drops the
  // item's cached source; in the favorites mix the row goes too.
  void removeTrackItemFromFavorites(const std::shared_ptr<MRPlaylistTrackItem>& item);
  // Deletes the artist's recommendations, blacklists it, and in a recommend
  // mix removes its rows (one app.removeRows).
  void registerToBlacklistAndDeleteFromPlaylistForArtist(const std::string& artist);

  // The row as the page draws it (see web/PROTOCOL.md).
  Value rowForTrackItem(const MRPlaylistTrackItem& item, bool favorite) const;
  // Marks `row`, a row the page makes, to flash its play indicator, once
  // ever: the listener's first row shows where a track plays from.
  void flushPlayableIndicatorOnce(Value& row);

  // MRPlaylistViewDelegate.
  void playlistHasNewTrack(MRPlaylist& playlist, const std::shared_ptr<MRPlaylistTrackItem>& item,
                           size_t index) override;
  // MRPlaylistPlayerDelegate.
  void playlistPlayerDidStartPlayingTrack(MRPlaylistPlayer& player,
                                          const std::shared_ptr<MRPlaylistTrackItem>& item,
                                          const std::shared_ptr<MRTrackPlayer>& trackPlayer) override;
  // MRTrackPlayerViewDelegate.
  void trackPlayerDidChangeStatus(MRTrackPlayer& trackPlayer, MRTrackPlayerStatus status) override;
  // MRServiceOperationDelegate: the caching jobs this screen started.
  void serviceOperationDidGetProgress(MRServiceOperation& operation, MRServiceOperationStatus status,
                                      float progress) override;
  void serviceOperationDidComplete(MRServiceOperation& operation,
                                   MRServiceOperationStatus status) override;

 private:
  void attach();
  bool live() const { return bridge_ != nullptr && !gone_; }
  void send(const std::string& call, const Value& argument);
  void send(const std::string& call, const Value& first, const Value& second);

  std::shared_ptr<MRPlaylistTrackItem> itemAt(std::optional<size_t> row) const;
  std::shared_ptr<MRPlaylistTrackItem> revealedItem() const { return itemAt(revealedIndexPath_); }
  std::optional<size_t> rowOfItemHash(const std::string& itemHash) const;
  bool isFavorite(const MRPlaylistTrackItem& item) const;
  Value progressValue() const;
  std::string playState() const;
  Value menuButtons(const MRPlaylistTrackItem& item) const;
  void sendRow(size_t row);
  void sendPlaying();
  void sendRevealedMenu();

  void rowAction(size_t row, const std::string& action);
  void sourceButton(size_t row, MRPreviewSourceID sourceID);
  void cacheTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item);
  void uncacheTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item);
  void showActionSheet(const std::shared_ptr<MRPlaylistTrackItem>& item);
  void confirmDontPlay(const std::string& artist);
  void pushMix(const std::shared_ptr<MRPlaylist>& mix);
  void openInBrowser(const std::string& url);
  // After a row left the list.
  void fixIndexPathsAfterRemovingRow(size_t row);
  void buildDidChange();

  MRUiContext& context_;
  MRScreenHost& host_;
  const std::shared_ptr<MRPlaylist> playlist_;
  const MixKind mixKind_;
  // The mix as a running job, when it is one: its progress row.
  const std::shared_ptr<MRPlaylistBuildOperation> build_;
  std::optional<uint64_t> buildObserver_;
  std::unique_ptr<MRFavoriteTrackCacheJobs> cacheJobs_;

  bool attached_ = false;
  bool gone_ = false;
  std::optional<size_t> playingIndexPath_;
  std::optional<size_t> revealedIndexPath_;
};

}  // namespace mr
