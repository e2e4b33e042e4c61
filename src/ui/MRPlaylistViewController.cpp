#include "ui/MRPlaylistViewController.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "base/Json.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "base/MRUserDefaults.h"
#include "base/MRPlaylistBuildOperation.h"
#include "base/NSHTTPQueryDictionary.h"
#include "model/CDUtility.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "playback/MRHistoryMix.h"
#include "playback/MRNewReleaseMix.h"
#include "playback/MRSimilarTrackMix.h"
#include "recommend/MRRecommendMix.h"
#include "service/MRAPIFavoriteTrack.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "social/MRFavoriteTrackOperation.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "ui/MRInstructionWindowController.h"

namespace mr {
namespace {

MRPlaylistViewController::MixKind mixKindOf(const MRPlaylist* playlist) {
  using Kind = MRPlaylistViewController::MixKind;
  if (dynamic_cast<const MRRecommendMix*>(playlist)) return Kind::Recommend;
  if (dynamic_cast<const MRFavoriteTrackMix*>(playlist)) return Kind::Favorites;
  if (dynamic_cast<const MRHistoryMix*>(playlist)) return Kind::History;
  if (dynamic_cast<const MRArtistTopTrackMix*>(playlist)) return Kind::Artist;
  if (dynamic_cast<const MRSimilarTrackMix*>(playlist)) return Kind::Similar;
  if (dynamic_cast<const MRNewReleaseMix*>(playlist)) return Kind::NewRelease;
  return Kind::Other;
}

const char* kindName(MRPlaylistViewController::MixKind kind) {
  using Kind = MRPlaylistViewController::MixKind;
  switch (kind) {
    case Kind::Recommend:
      return "recommend";
    case Kind::Favorites:
      return "favorites";
    case Kind::History:
      return "history";
    case Kind::Artist:
      return "artist";
    case Kind::Similar:
      return "similar";
    case Kind::NewRelease:
      return "newRelease";
    case Kind::Other:
      break;
  }
  return "other";
}

std::string itemHashOf(const MRPlaylistTrackItem& item) {
  return CDUtility::itemHashWithTitle(item.title, item.artist);
}

bool hasLocalCache(const MRPlaylistTrackItem& item) {
  return item.localCachePreviewDataSource() != nullptr;
}

// The item without its cached file's source; the set is replaced, not
// changed, as the players may hold the old one.
void dropLocalCache(MRPlaylistTrackItem& item) {
  if (auto* favorite = dynamic_cast<MRFavoriteTrackMixTrackItem*>(&item)) {
    favorite->removeLocalCache();
    return;
  }
  auto sources = item.previewDataSourceSet;
  std::erase_if(sources, [](const MRPreviewDataSource& source) {
    return source.sourceID == MRPreviewSourceIDLocalCache;
  });
  item.previewDataSourceSet = std::move(sources);
}

Value indexValue(std::optional<size_t> index) {
  return index ? Value(*index) : Value(nullptr);
}

bool isFinalStatus(MRServiceOperationStatus status) {
  return status == kMRServiceOperationStatusCompleted ||
         status == kMRServiceOperationStatusCanceled || status == kMRServiceOperationStatusFailed;
}

}  // namespace

MRPlaylistViewController::MRPlaylistViewController(MRUiContext& context, MRScreenHost& host,
                                                   std::shared_ptr<MRPlaylist> playlist)
    : context_(context),
      host_(host),
      playlist_(std::move(playlist)),
      mixKind_(mixKindOf(playlist_.get())),
      build_(std::dynamic_pointer_cast<MRPlaylistBuildOperation>(playlist_)) {
  if (context_.hub) bridge_ = context_.hub->open(context_.hub->newChannelName("playlist"), this);
}

MRPlaylistViewController::~MRPlaylistViewController() {
  if (build_ && buildObserver_) build_->removeObserver(*buildObserver_);
}

void MRPlaylistViewController::attach() {
  if (attached_ || gone_) return;
  auto self = weak_from_this();
  if (self.expired()) return;  // not made by make_shared: nothing can hold it weakly
  attached_ = true;
  if (playlist_) playlist_->setViewDelegate(std::weak_ptr<MRPlaylistViewDelegate>(self.lock()));

  // The cache jobs get this screen as delegate before they are queued, so
  // their first step is heard.
  if (context_.mix.serviceQueue) {
    std::weak_ptr<MRServiceOperationDelegate> delegate = self.lock();
    MRFavoriteCacheParts parts = context_.favoriteCache;
    cacheJobs_ = std::make_unique<MRFavoriteTrackCacheJobs>(
        context_.mix.serviceQueue,
        [parts, delegate](const std::string& hash) -> std::shared_ptr<MRRetryableNetworkOperation> {
          auto job = std::make_shared<MRCacheFavoriteTrackOperation>(parts, hash);
          job->setDelegate(delegate);
          return job;
        });
  }

  // The build's steps come from its own thread: one post to the main loop
  // at a time carries them over.
  if (build_ && context_.env) {
    Dispatcher& main = context_.env->main();
    auto pending = std::make_shared<std::atomic<bool>>(false);
    buildObserver_ = build_->addObserver(
        [&main, self, pending](MRServiceOperation&, std::string_view) {
          if (pending->exchange(true)) return;
          main.post([self, pending] {
            pending->store(false);
            if (auto screen = self.lock()) screen->buildDidChange();
          });
        });
  }

  // Reopened for the mix that plays: the indicator and the notices follow it.
  if (auto player = context_.player; player && player->playlist() == playlist_) {
    player->setDelegate(std::weak_ptr<MRPlaylistPlayerDelegate>(self.lock()));
    if (const auto& current = player->currentTrackPlayer()) {
      current->setViewDelegate(std::weak_ptr<MRTrackPlayerViewDelegate>(self.lock()));
      if (current->trackItem())
        playingIndexPath_ = playlist_->indexOfTrackItem(current->trackItem().get());
    }
  }
}

std::string MRPlaylistViewController::title() const {
  const MRPlaylist* mix = playlist_.get();
  if (const auto* recommend = dynamic_cast<const MRRecommendMix*>(mix)) {
    if (recommend->subjectGenreTag() && !recommend->subjectGenreTag()->empty())
      return *recommend->subjectGenreTag();
    return localizedString("MRPlaylistViewController_Title_Recommend");
  }
  if (const auto* favorites = dynamic_cast<const MRFavoriteTrackMix*>(mix)) {
    if (favorites->subjectArtist())
      return formatLocalized(localizedString("MRPlaylistViewController_Title_ArtistFavorites"),
                             {*favorites->subjectArtist()});
    return localizedString("MRPlaylistViewController_Title_Favorites");
  }
  if (dynamic_cast<const MRHistoryMix*>(mix))
    return localizedString("MRPlaylistViewController_Title_History");
  if (const auto* artist = dynamic_cast<const MRArtistTopTrackMix*>(mix))
    return formatLocalized(localizedString("MRPlaylistViewController_Title_Artist"),
                           {artist->artistName()});
  if (const auto* similar = dynamic_cast<const MRSimilarTrackMix*>(mix))
    return formatLocalized(localizedString("MRPlaylistViewController_Title_Similar"),
                           {similar->trackTitle(), similar->artistName()});
  if (const auto* release = dynamic_cast<const MRNewReleaseMix*>(mix))
    return formatLocalized(localizedString("MRPlaylistViewController_Title_NewRelease"),
                           {release->subjectRelease().title, release->subjectRelease().artistName});
  return localizedString("MRPlaylistViewController_Title_Playlist");
}

void MRPlaylistViewController::screenWillDisappear() {
  gone_ = true;
  if (build_ && buildObserver_) {
    build_->removeObserver(*buildObserver_);
    buildObserver_.reset();
  }
  if (playlist_ && playlist_->viewDelegate().get() == this) playlist_->setViewDelegate({});
  // The player keeps playing the mix; only its notices stop coming here.
  if (auto player = context_.player; player && player->delegate().get() == this)
    player->setDelegate({});
}

// ---------------------------------------------------------------- to the page

void MRPlaylistViewController::send(const std::string& call, const Value& argument) {
  if (!live()) return;
  bridge_->evaluate("app." + call + "(" + toJson(argument) + ")");
}

void MRPlaylistViewController::send(const std::string& call, const Value& first,
                                    const Value& second) {
  if (!live()) return;
  bridge_->evaluate("app." + call + "(" + toJson(first) + "," + toJson(second) + ")");
}

Value MRPlaylistViewController::rowForTrackItem(const MRPlaylistTrackItem& item,
                                                bool favorite) const {
  std::string reason;
  if (const auto* recommended = dynamic_cast<const MRRecommendMixTrackItem*>(&item);
      recommended && !recommended->sourceTitle.empty() && !recommended->sourceArtist.empty()) {
    reason = formatLocalized(localizedString("MRPlaylistViewController_Reason"),
                             {recommended->sourceTitle, recommended->sourceArtist});
  }
  Value sources = Value::array();
  static constexpr std::pair<MRPreviewSourceID, const char*> kLabels[] = {
      {MRPreviewSourceIDITunes, "MRPlaylistViewController_Source_iTunes"},
      {MRPreviewSourceIDYouTube, "MRPlaylistViewController_Source_Video"},
      {MRPreviewSourceIDSoundCloud, "MRPlaylistViewController_Source_SoundCloud"},
      {MRPreviewSourceIDLocalCache, "MRPlaylistViewController_Source_LocalCache"},
  };
  for (const auto& [id, key] : kLabels) {
    if (item.previewDataSourceForSourceId(id))
      sources.append(Value(Dictionary{{"id", Value(id)}, {"label", Value(localizedString(key))}}));
  }
  return Value(Dictionary{
      {"title", Value(item.title)},
      {"artist", Value(item.artist)},
      {"artwork", Value(item.imageUrl.empty() ? item.cachedImageUrl : item.imageUrl)},
      {"reason", Value(reason)},
      {"sources", std::move(sources)},
      {"favorite", Value(favorite)},
      {"cached", Value(hasLocalCache(item))},
  });
}

void MRPlaylistViewController::flushPlayableIndicatorOnce(Value& row) {
  if (!context_.env || !row.asDictionary()) return;
  MRInstructionSwitch switches(context_.environment().settings());
  if (!switches.playlistViewCellRevealable()) return;
  row.set("flushPlayableIndicator", Value(true));
  if (auto written = switches.setPlaylistViewCellRevealable(false); !written.ok())
    log::warning("playlist: {}", written.error().toString());
}

Value MRPlaylistViewController::progressValue() const {
  if (!build_) return Value(nullptr);
  const auto status = build_->status();
  if (status != kMRServiceOperationStatusWaiting && status != kMRServiceOperationStatusProcessing)
    return Value(nullptr);
  const std::string title = build_->locatingTrackTitle();
  const std::string artist = build_->locatingTrackArtist();
  const std::string text =
      title.empty() ? localizedString("MRPlaylistViewController_Loading")
                    : formatLocalized(localizedString("MRPlaylistViewController_Locating"),
                                      {title, artist});
  const float fraction = build_->progress();
  return Value(Dictionary{
      {"text", Value(text)},
      {"fraction", fraction > 0 ? Value(std::min(1.0f, fraction)) : Value(nullptr)},
  });
}

std::string MRPlaylistViewController::playState() const {
  auto player = context_.player;
  if (!player || player->playlist() != playlist_ || !playingIndexPath_) return "none";
  const auto& current = player->currentTrackPlayer();
  if (!current) return "none";
  switch (current->status()) {
    case MRTrackPlayerStatusIdle:
    case MRTrackPlayerStatusLoading:
      return "loading";
    case MRTrackPlayerStatusPlaying:
      return "playing";
    case MRTrackPlayerStatusPaused:
      return "paused";
    case MRTrackPlayerStatusFinished:
      break;
  }
  return "none";
}

void MRPlaylistViewController::pageDidFinishLoad() {
  attach();
  if (!live() || !playlist_) return;
  // One query for the favorite flags of the whole list.
  std::set<std::string> favorites;
  if (context_.store) {
    CDFavoriteTrackEntityController controller(context_.store.get());
    for (const auto& record : controller.findAll()) {
      if (auto hash = record->itemHash()) favorites.insert(*hash);
    }
  }
  Value rows = Value::array();
  for (const auto& item : playlist_->tracks()) {
    Value row = rowForTrackItem(*item, favorites.contains(itemHashOf(*item)));
    if (rows.asArray()->empty()) flushPlayableIndicatorOnce(row);
    rows.append(std::move(row));
  }
  send("setPlaylist", Value(Dictionary{
                          {"title", Value(title())},
                          {"kind", Value(kindName(mixKind_))},
                          {"rows", std::move(rows)},
                          {"playing", indexValue(playingIndexPath_)},
                          {"playState", Value(playState())},
                          {"progress", progressValue()},
                      }));
  if (revealedIndexPath_) sendRevealedMenu();
  // A page loaded anew shows the caching still under way at once, not at
  // its next step.
  if (context_.mix.serviceQueue) {
    for (const auto& operation : context_.mix.serviceQueue->operations()) {
      const auto* job = dynamic_cast<const MRServiceOperation*>(operation.get());
      const auto* caching = dynamic_cast<const MRFavoriteTrackCaching*>(operation.get());
      if (!job || !caching || job->isFinished() || isFinalStatus(job->status())) continue;
      if (auto row = rowOfItemHash(caching->subjectFavoriteTrackItemHash()))
        send("setCacheProgress", Value(*row), Value(std::clamp(job->progress(), 0.0f, 1.0f)));
    }
  }
}

void MRPlaylistViewController::sendRow(size_t row) {
  auto item = itemAt(row);
  if (!item) return;
  send("updateRow", Value(row), rowForTrackItem(*item, isFavorite(*item)));
}

void MRPlaylistViewController::sendPlaying() {
  send("setPlaying", indexValue(playingIndexPath_), Value(playState()));
}

void MRPlaylistViewController::sendRevealedMenu() {
  auto item = revealedItem();
  if (!item) {
    send("revealMenu", Value(nullptr), Value(Dictionary{}));
    return;
  }
  send("revealMenu", Value(*revealedIndexPath_), menuButtons(*item));
}

void MRPlaylistViewController::scrollToPlayingRow() {
  attach();
  if (playingIndexPath_) send("scrollToRow", Value(*playingIndexPath_));
}

void MRPlaylistViewController::buildDidChange() {
  if (gone_) return;
  send("setProgress", progressValue());
}

// ---------------------------------------------------------------- from the page

void MRPlaylistViewController::onAppMessage(const std::string& name, const AppParams& params) {
  attach();
  if (gone_ || !playlist_) return;
  const int index = appParamInt(params, "index");
  const bool hasIndex = params.count("index") != 0 && index >= 0;
  const size_t row = static_cast<size_t>(std::max(index, 0));
  if (name == "rowDidSelect") {
    if (!hasIndex || !itemAt(row)) return;
    if (prepareToPlayTrackWithIndexPath(row)) {
      playingIndexPath_ = row;
      sendPlaying();
    }
  } else if (name == "menuDidOpen") {
    if (!hasIndex || !itemAt(row)) return;
    // At most one menu is open: the page closes the previous one itself.
    revealedIndexPath_ = row;
    sendRevealedMenu();
  } else if (name == "menuDidClose") {
    revealedIndexPath_.reset();
  } else if (name == "sourceButton") {
    if (hasIndex) sourceButton(row, appParamInt(params, "sourceId"));
  } else if (name == "rowAction") {
    auto found = params.find("action");
    if (hasIndex && found != params.end()) rowAction(row, found->second);
  } else {
    log::debug("playlist: unknown request {}", name);
  }
}

std::shared_ptr<MRPlaylistTrackItem> MRPlaylistViewController::itemAt(
    std::optional<size_t> row) const {
  if (!row || !playlist_) return nullptr;
  return playlist_->trackItemForIndex(*row);
}

std::optional<size_t> MRPlaylistViewController::rowOfItemHash(const std::string& itemHash) const {
  const auto tracks = playlist_->tracks();
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (itemHashOf(*tracks[i]) == itemHash) return i;
  }
  return std::nullopt;
}

bool MRPlaylistViewController::isFavorite(const MRPlaylistTrackItem& item) const {
  if (!context_.store) return false;
  return CDFavoriteTrackEntityController(context_.store.get())
             .findOneWithArtist(item.artist, item.title) != nullptr;
}

Value MRPlaylistViewController::menuButtons(const MRPlaylistTrackItem& item) const {
  std::shared_ptr<CDFavoriteTrack> record;
  if (context_.store)
    record = CDFavoriteTrackEntityController(context_.store.get())
                 .findOneWithArtist(item.artist, item.title);
  const bool favorite = record != nullptr;
  const bool favorites = mixKind_ == MixKind::Favorites;
  const bool cached = favorite && (record->localCachePreviewDataSource() || hasLocalCache(item));
  return Value(Dictionary{
      {"favorite", Value(!favorite)},
      {"favorited", Value(favorite)},
      {"trash", Value(favorites)},
      {"cache", Value(favorites && favorite && !cached)},
      {"uncache", Value(favorites && favorite && cached)},
  });
}

void MRPlaylistViewController::rowAction(size_t row, const std::string& action) {
  // The actions work on the row whose menu is open.
  if (revealedIndexPath_ != row) return;
  auto item = revealedItem();
  if (!item) return;
  if (action == "info") {
    host_.trackDetail().retrieveArtistInfoForTrackItem(item);
    host_.trackDetail().setAutoloadOnPlay(true);
  } else if (action == "favorite" || action == "favorited") {
    bool caching = false;
    favoriteOrRemoveTrackItem(item, caching);
  } else if (action == "trash") {
    if (mixKind_ == MixKind::Favorites) removeTrackItemFromFavorites(item);
  } else if (action == "cache") {
    cacheTrackItem(item);
  } else if (action == "uncache") {
    uncacheTrackItem(item);
  } else if (action == "comment") {
    host_.showCommentForm(item);
  } else if (action == "action") {
    showActionSheet(item);
  } else {
    log::debug("playlist: unknown row action {}", action);
  }
}

void MRPlaylistViewController::openInBrowser(const std::string& url) {
  if (context_.openInBrowser) {
    context_.openInBrowser(url);
  } else {
    host_.openInBrowser(url);
  }
}

void MRPlaylistViewController::sourceButton(size_t row, MRPreviewSourceID sourceID) {
  auto item = itemAt(row);
  if (!item) return;
  if (sourceID == MRPreviewSourceIDITunes) {
    const auto* source = item->iTunesPreviewDataSource();
    const auto* info =
        source ? dynamic_cast<const MRiTunesAdditionalInfo*>(source->additionalInfo.get()) : nullptr;
    if (!info || info->trackViewUrl().empty() || !context_.env) return;
    openInBrowser(context_.config().affiliatePrefix +
                  NSHTTPQueryDictionary::urlencode(info->trackViewUrl()));
  } else if (sourceID == MRPreviewSourceIDYouTube) {
    const auto* source = item->youTubePreviewDataSource();
    const auto* info =
        source ? dynamic_cast<const MRYouTubeAdditionalInfo*>(source->additionalInfo.get())
               : nullptr;
    if (!info || info->link().empty()) return;
    openInBrowser(info->link());
  }
}

// ---------------------------------------------------------------- playing

bool MRPlaylistViewController::prepareToPlayTrackWithIndexPath(size_t row) {
  attach();
  auto player = context_.player;
  if (!player || !playlist_) return false;
  player->setPlaylist(playlist_);
  player->setDelegate(std::weak_ptr<MRPlaylistPlayerDelegate>(weak_from_this()));
  if (const auto& current = player->currentTrackPlayer(); current && current->trackItem()) {
    if (playlist_->indexOfTrackItem(current->trackItem().get()) == row) return false;
  }
  return player->playWithIndex(row);
}

void MRPlaylistViewController::playlistPlayerDidStartPlayingTrack(
    MRPlaylistPlayer& player, const std::shared_ptr<MRPlaylistTrackItem>& item,
    const std::shared_ptr<MRTrackPlayer>& trackPlayer) {
  if (gone_ || player.playlist() != playlist_) return;
  if (trackPlayer)
    trackPlayer->setViewDelegate(std::weak_ptr<MRTrackPlayerViewDelegate>(weak_from_this()));
  playingIndexPath_ = item ? playlist_->indexOfTrackItem(item.get()) : std::nullopt;
  sendPlaying();
  // A player may be playing before it reports to this screen: the start
  // offers the tip too.
  host_.instructionWindow().showAboutPlaybackControl();
}

void MRPlaylistViewController::trackPlayerDidChangeStatus(MRTrackPlayer& trackPlayer,
                                                          MRTrackPlayerStatus) {
  if (gone_) return;
  auto player = context_.player;
  if (!player || player->currentTrackPlayer().get() != &trackPlayer) return;
  sendPlaying();
  host_.instructionWindow().showAboutPlaybackControl();
}

// ---------------------------------------------------------------- the mix grows

void MRPlaylistViewController::playlistHasNewTrack(MRPlaylist& playlist,
                                                   const std::shared_ptr<MRPlaylistTrackItem>& item,
                                                   size_t index) {
  if (gone_ || &playlist != playlist_.get() || !item) return;
  if (revealedIndexPath_ && *revealedIndexPath_ >= index) ++*revealedIndexPath_;
  if (playingIndexPath_ && *playingIndexPath_ >= index) ++*playingIndexPath_;
  Value row = rowForTrackItem(*item, isFavorite(*item));
  flushPlayableIndicatorOnce(row);
  send("insertRow", Value(index), std::move(row));
}

void MRPlaylistViewController::fixIndexPathsAfterRemovingRow(size_t row) {
  if (playingIndexPath_) {
    if (*playingIndexPath_ == row) {
      playingIndexPath_.reset();  // its track left the list
    } else if (*playingIndexPath_ > row) {
      --*playingIndexPath_;
    }
  }
  if (revealedIndexPath_) {
    if (*revealedIndexPath_ == row) {
      revealedIndexPath_.reset();
    } else if (*revealedIndexPath_ > row) {
      --*revealedIndexPath_;
    }
  }
}

// ---------------------------------------------------------------- favorites

bool MRPlaylistViewController::favoriteOrRemoveTrackItem(
    const std::shared_ptr<MRPlaylistTrackItem>& item, bool& caching) {
  caching = false;
  if (!item || !context_.store) return false;
  CDFavoriteTrackEntityController favorites(context_.store.get());
  if (favorites.findOneWithItemHash(itemHashOf(*item))) {
    removeTrackItemFromFavorites(item);
    return false;
  }
  return addTrackItemToFavorites(item, caching);
}

bool MRPlaylistViewController::addTrackItemToFavorites(
    const std::shared_ptr<MRPlaylistTrackItem>& item, bool& caching) {
  attach();
  caching = false;
  if (!item || !context_.store || !context_.env) return false;
  const std::string hash = itemHashOf(*item);
  CDFavoriteTrackEntityController favorites(context_.store.get());
  auto added = favorites.addWithPlaylistTrack(*item, context_.env->clock().currentDate());
  if (!added.ok()) {
    log::warning("playlist: the favorite was not stored: {}", added.error().toString());
    host_.showAlert(errorAlert(added.error().description()), [](int) {});
    return false;
  }

  // A favorite seeds recommendations once, ahead of the listener's tracks.
  {
    CDTrackUsedForRecommendationEntityController used(context_.store.get());
    CDTrackRecommendationQueueEntityController queue(used.context());
    if (!used.findWithItemHash(hash)) {
      if (auto queued = queue.enqueueTrackForRecommendationWithTitle(item->title, "", item->artist,
                                                                     1000, false)) {
        used.insertNewObjectWithTrackRecommendationQueueItem(*queued);
        if (Status saved = queue.save(); !saved.ok())
          log::warning("playlist: not queued for recommendation: {}", saved.error().toString());
        if (Status saved = used.save(); !saved.ok())
          log::warning("playlist: not marked as used: {}", saved.error().toString());
      }
    }
  }

  if (cacheJobs_) caching = cacheJobs_->addCacheFavoriteTrackOperationWithItemHash(hash) != nullptr;
  if (caching) host_.instructionWindow().showAboutCaching();

  auto report = std::make_shared<MRFavoriteTrackMixTrackItem>();
  (*added)->assignToPlaylistTrackItem(*report, context_.favoriteCache.cacheDirectoryPath());
  if (context_.mix.recommend.networkQueue) {
    auto tell = std::make_shared<MRFavoriteTrackOperation>(context_.mix.recommend,
                                                           context_.mix.mirelune, report);
    tell->submit();
  }

  if (auto row = playlist_ ? playlist_->indexOfTrackItem(item.get()) : std::nullopt) {
    send("updateRow", Value(*row), rowForTrackItem(*item, true));
    if (revealedIndexPath_ == row) sendRevealedMenu();
  }
  return true;
}

void MRPlaylistViewController::removeTrackItemFromFavorites(
    const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (!item || !context_.store) return;
  const std::string hash = itemHashOf(*item);
  CDFavoriteTrackEntityController favorites(context_.store.get());
  auto record = favorites.findOneWithItemHash(hash);
  if (!record) return;
  const std::string folder = context_.favoriteCache.cacheDirectoryPath();

  // The service's copy goes too; its failures are not shown.
  if (context_.mix.mirelune) {
    MRFavoriteTrackMixTrackItem told;
    record->assignToPlaylistTrackItem(told, folder);
    (void)MRAPIFavoriteTrack(context_.mix.mirelune)
        .removeWithPlaylistTrackItem(told, [](bool) {}, [](const Error&) {});
  }

  favoritecache::uncache(*record, folder);
  favorites.removeOneWithItemHash(hash);
  if (Status saved = favorites.save(); !saved.ok()) {
    log::warning("playlist: the favorite was not removed: {}", saved.error().toString());
    host_.showAlert(errorAlert(saved.error().description()), [](int) {});
    return;
  }
  if (hasLocalCache(*item)) dropLocalCache(*item);

  auto row = playlist_ ? playlist_->indexOfTrackItem(item.get()) : std::nullopt;
  if (!row) return;
  if (mixKind_ == MixKind::Favorites) {
    playlist_->removeTrackAtIndex(*row);
    fixIndexPathsAfterRemovingRow(*row);
    revealedIndexPath_.reset();
    Value rows = Value::array();
    rows.append(Value(*row));
    send("removeRows", rows);
    sendPlaying();
  } else {
    send("updateRow", Value(*row), rowForTrackItem(*item, false));
    if (revealedIndexPath_ == row) sendRevealedMenu();
  }
}

void MRPlaylistViewController::cacheTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (mixKind_ != MixKind::Favorites || hasLocalCache(*item) || !context_.env) return;
  if (!context_.env->reachability().isReachable()) {
    host_.showAlert(errorAlert(localizedString("MRPlaylistViewController_Offline")), [](int) {});
    return;
  }
  if (!cacheJobs_) return;
  const std::string hash = itemHashOf(*item);
  if (cacheJobs_->addCacheFavoriteTrackOperationWithItemHash(hash)) {
    if (auto row = rowOfItemHash(hash)) send("setCacheProgress", Value(*row), Value(0.0));
  }
}

void MRPlaylistViewController::uncacheTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (mixKind_ != MixKind::Favorites || !hasLocalCache(*item) || !context_.store) return;
  CDFavoriteTrackEntityController favorites(context_.store.get());
  if (auto record = favorites.findOneWithItemHash(itemHashOf(*item))) {
    favoritecache::uncache(*record, context_.favoriteCache.cacheDirectoryPath());
    if (Status saved = favorites.save(); !saved.ok()) {
      host_.showAlert(errorAlert(saved.error().description()), [](int) {});
      return;
    }
  }
  dropLocalCache(*item);
  if (auto row = playlist_->indexOfTrackItem(item.get())) {
    sendRow(*row);
    if (revealedIndexPath_ == row) sendRevealedMenu();
  }
}

void MRPlaylistViewController::serviceOperationDidGetProgress(MRServiceOperation& operation,
                                                              MRServiceOperationStatus status,
                                                              float progress) {
  if (gone_ || isFinalStatus(status)) return;
  const auto* caching = dynamic_cast<const MRFavoriteTrackCaching*>(&operation);
  if (!caching) return;
  if (auto row = rowOfItemHash(caching->subjectFavoriteTrackItemHash()))
    send("setCacheProgress", Value(*row), Value(std::clamp(progress, 0.0f, 1.0f)));
}

void MRPlaylistViewController::serviceOperationDidComplete(MRServiceOperation& operation,
                                                           MRServiceOperationStatus status) {
  // The job's own steps (101-105) come here too.
  if (gone_ || !isFinalStatus(status)) return;
  const auto* caching = dynamic_cast<const MRFavoriteTrackCaching*>(&operation);
  if (!caching) return;
  const std::string hash = caching->subjectFavoriteTrackItemHash();
  auto row = rowOfItemHash(hash);
  if (!row) return;
  send("setCacheProgress", Value(*row), Value(nullptr));
  // The cached file plays from now on: the item takes its source.
  auto item = itemAt(row);
  if (item && !hasLocalCache(*item) && context_.store) {
    CDFavoriteTrackEntityController favorites(context_.store.get());
    if (auto record = favorites.findOneWithItemHash(hash);
        record && record->localCachePreviewDataSource()) {
      auto sources = item->previewDataSourceSet;
      sources.push_back(previewDataSourceWithManagedObject(
          *record->localCachePreviewDataSource(), context_.favoriteCache.cacheDirectoryPath()));
      item->previewDataSourceSet = std::move(sources);
    }
  }
  sendRow(*row);
  if (revealedIndexPath_ == row) sendRevealedMenu();
}

// ---------------------------------------------------------------- the action sheet

void MRPlaylistViewController::showActionSheet(const std::shared_ptr<MRPlaylistTrackItem>& item) {
  enum class Choice { DontPlay, Unfavorite, MoreArtist, SimilarTracks, RelatedArtists, Cancel };
  MRAlert sheet;
  sheet.actionSheet = true;
  sheet.title = formatLocalized("%@ / %@", {item->title, item->artist});
  std::vector<Choice> choices;
  if (mixKind_ == MixKind::Recommend) {
    sheet.destructiveButton = 0;
    sheet.buttons.push_back(localizedString("MRPlaylistViewController_Action_DontPlay"));
    choices.push_back(Choice::DontPlay);
  } else if (mixKind_ == MixKind::Favorites) {
    sheet.destructiveButton = 0;
    sheet.buttons.push_back(localizedString("MRPlaylistViewController_Unfavorite"));
    choices.push_back(Choice::Unfavorite);
  }
  sheet.buttons.push_back(localizedString("MRPlaylistViewController_Action_MoreArtist"));
  choices.push_back(Choice::MoreArtist);
  sheet.buttons.push_back(localizedString("MRPlaylistViewController_Action_SimilarTracks"));
  choices.push_back(Choice::SimilarTracks);
  sheet.buttons.push_back(localizedString("MRPlaylistViewController_Action_RelatedArtists"));
  choices.push_back(Choice::RelatedArtists);
  sheet.cancelButton = static_cast<int>(sheet.buttons.size());
  sheet.buttons.push_back(localizedString("Cancel"));
  choices.push_back(Choice::Cancel);

  std::weak_ptr<MRPlaylistViewController> weak = weak_from_this();
  host_.showAlert(std::move(sheet), [weak, item, choices](int button) {
    auto self = weak.lock();
    if (!self || self->gone_ || button < 0 || static_cast<size_t>(button) >= choices.size())
      return;
    switch (choices[static_cast<size_t>(button)]) {
      case Choice::DontPlay:
        self->confirmDontPlay(item->artist);
        break;
      case Choice::Unfavorite:
        self->removeTrackItemFromFavorites(item);
        break;
      case Choice::MoreArtist:
        self->pushMix(std::make_shared<MRArtistTopTrackMix>(self->context_.mix, item->artist));
        break;
      case Choice::SimilarTracks:
        self->pushMix(
            std::make_shared<MRSimilarTrackMix>(self->context_.mix, item->artist, item->title));
        break;
      case Choice::RelatedArtists:
        self->host_.showSimilarArtists(item->artist);
        break;
      case Choice::Cancel:
        break;
    }
  });
}

void MRPlaylistViewController::pushMix(const std::shared_ptr<MRPlaylist>& mix) {
  if (auto build = std::dynamic_pointer_cast<MRPlaylistBuildOperation>(mix);
      build && context_.mix.serviceQueue)
    build->loadTracks(*context_.mix.serviceQueue);
  if (auto screen = host_.playlistScreenForPlaylist(mix))
    host_.navigateWithViewController(std::move(screen), true);
}

void MRPlaylistViewController::confirmDontPlay(const std::string& artist) {
  MRAlert confirm;
  confirm.title = localizedString("MRPlaylistViewController_DontPlayConfirmTitle");
  confirm.message =
      formatLocalized(localizedString("MRPlaylistViewController_DontPlayConfirm"), {artist});
  confirm.buttons = {localizedString("Cancel"), localizedString("OK")};
  confirm.cancelButton = 0;
  std::weak_ptr<MRPlaylistViewController> weak = weak_from_this();
  host_.showAlert(std::move(confirm), [weak, artist](int button) {
    auto self = weak.lock();
    if (self && !self->gone_ && button == 1)
      self->registerToBlacklistAndDeleteFromPlaylistForArtist(artist);
  });
}

void MRPlaylistViewController::registerToBlacklistAndDeleteFromPlaylistForArtist(
    const std::string& artist) {
  if (context_.store) {
    if (Status deleted = CDRecommendTrackEntityController(context_.store.get())
                             .deleteWithArtistName(artist);
        !deleted.ok())
      log::warning("playlist: {}'s recommendations stay: {}", artist, deleted.error().toString());
    if (auto registered =
            CDArtistBlackListEntityController(context_.store.get()).registerNewArtist(artist);
        !registered.ok())
      log::warning("playlist: {} was not blacklisted: {}", artist, registered.error().toString());
  }
  if (mixKind_ != MixKind::Recommend || !playlist_) return;
  // From the last row up, so each removed row's index is still the one the
  // page has.
  std::vector<size_t> removed;
  for (size_t i = playlist_->numberOfTracks(); i-- > 0;) {
    auto item = playlist_->trackItemForIndex(i);
    if (!item || item->artist != artist) continue;
    playlist_->removeTrackAtIndex(i);
    fixIndexPathsAfterRemovingRow(i);
    removed.push_back(i);
  }
  if (removed.empty()) return;
  Value rows = Value::array();
  for (auto it = removed.rbegin(); it != removed.rend(); ++it)
    rows.append(Value(*it));
  send("removeRows", rows);
  sendPlaying();
}

}  // namespace mr
