#include "ui/MRTrackDetailViewController.h"

#include "base/Log.h"
#include "base/NSHTTPQueryDictionary.h"
#include "service/MRAPITrack.h"
#include "ui/ScriptCall.h"

namespace mr {

size_t utf16Length(const std::string& text) {
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    length += byte >= 0xF0 ? 2 : 1;       // beyond the basic plane: a surrogate pair
  }
  return length;
}

MRTrackDetailViewController::MRTrackDetailViewController(
    MRUiContext& context, MRTrackDetailViewControllerDelegate& delegate)
    : context_(context), delegate_(delegate) {
  bridge_ = context.hub->open(kChannel, this);
  if (auto center = context.notifications) {
    observers_.push_back(center->addObserver(
        MRTrackPlayerDidPlayTrackNotification,
        [this](const Notification& notice) { trackPlayerDidPlay(notice.objectAs<MRTrackPlayer>()); }));
    observers_.push_back(center->addObserver(
        MRTrackPlayerDidStopTrackNotification,
        [this](const Notification& notice) { trackPlayerDidStop(notice.objectAs<MRTrackPlayer>()); }));
  }
}

MRTrackDetailViewController::~MRTrackDetailViewController() {
  if (auto center = context_.notifications) {
    for (auto token : observers_)
      center->removeObserver(token);
  }
  if (opArtistInfo_) opArtistInfo_->cancel();
  if (opYouTubeComments_) opYouTubeComments_->cancel();
  if (opMireluneComments_) opMireluneComments_->cancel();
}

void MRTrackDetailViewController::retrieveArtistInfoForTrackItem(
    std::shared_ptr<MRPlaylistTrackItem> item) {
  if (!item) return;
  trackItem_ = item;
  if (opArtistInfo_) opArtistInfo_->cancel();
  opArtistInfo_.reset();
  auto network = context_.mix.recommend.networkQueue;
  if (!network) {
    delegate_.trackDetailViewControllerDidChangeLoading(*this);
    return;
  }
  auto operation =
      std::make_shared<MRRetrieveArtistInfoOperation>(context_.mix.recommend, item->artist);
  std::weak_ptr<bool> alive = alive_;
  Dispatcher& main = context_.environment().main();
  std::weak_ptr<MRRetrieveArtistInfoOperation> weakOperation = operation;
  operation->setOnCompletion([this, alive, weakOperation, &main](MRRetrieveArtistInfoOperation&) {
    main.post([this, alive, weakOperation] {
      auto operation = weakOperation.lock();
      if (alive.expired() || !operation) return;
      artistInfoDidComplete(operation);
    });
  });
  opArtistInfo_ = operation;
  network->addNetworkOperation(operation, kArtistInfoPriority);
  delegate_.trackDetailViewControllerDidChangeLoading(*this);
}

void MRTrackDetailViewController::artistInfoDidComplete(
    const std::shared_ptr<MRRetrieveArtistInfoOperation>& operation) {
  // Only the request for the item shown counts; one cancelled by others
  // (a log-out empties the queue) ends the loading all the same.
  if (operation != opArtistInfo_) return;
  if (!operation->isCancelled()) {
    retrieveCommentsOnYouTubeForTrackItem(trackItem_);
    retrieveCommentsOnMireluneForTrackItem(trackItem_);
    if (auto artist = operation->artistInfo()) {
      artistInfo_ = *artist;
      showArtistMeta(*artist);
    }
  }
  opArtistInfo_.reset();
  delegate_.trackDetailViewControllerDidChangeLoading(*this);
}

void MRTrackDetailViewController::retrieveCommentsOnYouTubeForTrackItem(
    const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (opYouTubeComments_) opYouTubeComments_->cancel();
  opYouTubeComments_.reset();
  const uint64_t generation = ++youTubeGeneration_;
  auto video = context_.video();
  const MRPreviewDataSource* source = item ? item->youTubePreviewDataSource() : nullptr;
  if (!video || !source || !source->additionalInfo) return;
  const std::string videoID = MRYouTubeAdditionalInfo(*source->additionalInfo->data().asDictionary())
                                  .videoID();
  if (videoID.empty()) return;
  std::weak_ptr<bool> alive = alive_;
  // Both callbacks run on the main thread.
  opYouTubeComments_ = video->retrieveCommentsWithVideoID(
      videoID,
      [this, alive, generation](YouTubeVideoCommentEntry entry) {
        if (alive.expired() || generation != youTubeGeneration_) return;
        opYouTubeComments_.reset();
        showYouTubeComments(entry.comments.value_or(std::vector<YouTubeVideoComment>{}));
      },
      [this, alive, generation](const Error&) {
        if (alive.expired() || generation != youTubeGeneration_) return;
        opYouTubeComments_.reset();
      });
}

void MRTrackDetailViewController::retrieveCommentsOnMireluneForTrackItem(
    const std::shared_ptr<MRPlaylistTrackItem>& item) {
  if (opMireluneComments_) opMireluneComments_->cancel();
  opMireluneComments_.reset();
  const uint64_t generation = ++mireluneGeneration_;
  if (!item || !context_.mix.mirelune) return;
  std::weak_ptr<bool> alive = alive_;
  Dispatcher& main = context_.environment().main();
  // The service answers on its background pool.
  opMireluneComments_ = MRAPITrack(context_.mix.mirelune)
                            .getWithArtistName(
                                item->artist, item->title,
                                [this, alive, generation, &main](bool success,
                                                                 const MRTrackDocument& track) {
                                  main.post([this, alive, generation, success, track] {
                                    if (alive.expired() || generation != mireluneGeneration_) {
                                      return;
                                    }
                                    opMireluneComments_.reset();
                                    if (success) showMireluneComments(track);
                                  });
                                },
                                [this, alive, generation, &main](const Error&) {
                                  main.post([this, alive, generation] {
                                    if (alive.expired() || generation != mireluneGeneration_) {
                                      return;
                                    }
                                    opMireluneComments_.reset();
                                  });
                                });
}

Value MRTrackDetailViewController::metaData(const MRPlaylistTrackItem& item,
                                            const LastfmArtist& artist, const AppConfig& config) {
  Value iTunesStore;
  if (const MRPreviewDataSource* source = item.iTunesPreviewDataSource()) {
    std::string trackViewUrl;
    if (source->additionalInfo && source->additionalInfo->data().asDictionary()) {
      trackViewUrl = MRiTunesAdditionalInfo(*source->additionalInfo->data().asDictionary())
                         .trackViewUrl();
    }
    iTunesStore = Value(config.affiliatePrefix + NSHTTPQueryDictionary::urlencode(trackViewUrl));
  }
  Value youTubeVideo;
  if (const MRPreviewDataSource* source = item.youTubePreviewDataSource()) {
    if (source->additionalInfo && source->additionalInfo->data().asDictionary()) {
      const std::string link =
          MRYouTubeAdditionalInfo(*source->additionalInfo->data().asDictionary()).link();
      if (!link.empty()) youTubeVideo = Value(link);
    }
  }
  const std::string amazonSearch = config.shoppingSearchUrl +
                                   NSHTTPQueryDictionary::urlencode(item.title) + "%20" +
                                   NSHTTPQueryDictionary::urlencode(item.artist);
  return Value(Dictionary{
      {"artistName", Value(artist.name)},
      {"trackTitle", Value(item.title)},
      {"artworkUrl", Value(item.imageUrl)},
      {"profile", Value(artist.bioSummary)},
      {"link", Value(Dictionary{{"iTunesStore", iTunesStore},
                                {"youTubeVideo", youTubeVideo},
                                {"lastfm", Value(artist.url)},
                                {"amazonSearch", Value(amazonSearch)}})},
  });
}

void MRTrackDetailViewController::send(const std::string& function, const Value& argument,
                                       std::string& last) {
  last = scriptCall(function, argument, ";");
  bridge_->evaluate(last);
}

void MRTrackDetailViewController::showArtistMeta(const LastfmArtist& artist) {
  if (!trackItem_) return;
  send("app.setMetaData", metaData(*trackItem_, artist, context_.config()), lastMetaData_);
  // The video shown belongs to the track playing; another track's details
  // hide it.
  std::shared_ptr<MRPlaylistTrackItem> playing;
  if (context_.player && context_.player->currentTrackPlayer()) {
    playing = context_.player->currentTrackPlayer()->trackItem();
  }
  if (playing != trackItem_) hideVideoView();
}

void MRTrackDetailViewController::showYouTubeComments(
    const std::vector<YouTubeVideoComment>& comments) {
  Array list;
  for (const auto& comment : comments) {
    if (utf16Length(comment.content) > kMaxVideoCommentLength) continue;
    list.emplace_back(
        Dictionary{{"name", Value(comment.authorName)}, {"text", Value(comment.content)}});
  }
  send("app.setCommentsOnYouTube", Value(std::move(list)), lastYouTubeComments_);
}

void MRTrackDetailViewController::showMireluneComments(const MRTrackDocument& track) {
  trackDocument_ = track;
  Array list;
  for (const auto& comment : track.comments().value_or(std::vector<MRTrackCommentDocument>{})) {
    if (comment.removed()) continue;
    auto author = comment.createdBy();
    list.emplace_back(Dictionary{{"name", Value(author ? author->aname() : std::string())},
                                 {"text", Value(comment.comment())}});
  }
  send("app.setCommentsOnMirelune", Value(std::move(list)), lastMireluneComments_);
}

void MRTrackDetailViewController::pageDidFinishLoad() {
  for (const std::string* script : {&lastMetaData_, &lastYouTubeComments_, &lastMireluneComments_}) {
    if (!script->empty()) bridge_->evaluate(*script);
  }
}

void MRTrackDetailViewController::onLinkNavigation(const std::string& url) {
  if (context_.openInBrowser) context_.openInBrowser(url);
}

void MRTrackDetailViewController::showVideoView() {
  if (videoVisible_) return;
  videoVisible_ = true;
  delegate_.trackDetailViewControllerDidChangeVideoViewVisibility(*this);
  delegate_.trackDetailViewControllerDidChangeVideo(*this);
}

void MRTrackDetailViewController::hideVideoView() {
  if (!videoVisible_) return;
  videoVisible_ = false;
  delegate_.trackDetailViewControllerDidChangeVideoViewVisibility(*this);
  delegate_.trackDetailViewControllerDidChangeVideo(*this);
}

Value MRTrackDetailViewController::videoState() const {
  Value url;
  double position = 0;
  bool playing = false;
  if (auto player = videoPlayer_.lock()) {
    const auto& source = player->previewDataSource();
    if (source && source->hasPreviewUrl()) url = Value(*source->previewUrl);
    position = player->currentTime();
    playing = player->status() == MRTrackPlayerStatusPlaying;
  }
  return Value(Dictionary{{"visible", Value(videoVisible_)},
                          {"url", url},
                          {"position", Value(position)},
                          {"playing", Value(playing)}});
}

void MRTrackDetailViewController::trackPlayerDidPlay(const std::shared_ptr<MRTrackPlayer>& player) {
  if (!player) return;
  if (autoloadOnPlay_) retrieveArtistInfoForTrackItem(player->trackItem());
  const auto& source = player->previewDataSource();
  if (source && source->sourceID == MRPreviewSourceIDYouTube) addViewForPlayer(player);
}

void MRTrackDetailViewController::trackPlayerDidStop(const std::shared_ptr<MRTrackPlayer>& player) {
  removeViewForPlayer(player);
}

void MRTrackDetailViewController::addViewForPlayer(const std::shared_ptr<MRTrackPlayer>& player) {
  videoPlayer_ = player;
  delegate_.trackDetailViewControllerDidChangeVideo(*this);
}

void MRTrackDetailViewController::removeViewForPlayer(
    const std::shared_ptr<MRTrackPlayer>& player) {
  auto attached = videoPlayer_.lock();
  // A stop notice without an object comes from a player already gone.
  if (attached && player && attached != player) return;
  if (!attached && videoPlayer_.expired() && player) return;
  videoPlayer_.reset();
  delegate_.trackDetailViewControllerDidChangeVideo(*this);
}

}  // namespace mr
