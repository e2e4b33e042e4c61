// The track detail pane beside the stack: the artist's profile and picture,
// links to the track in the stores and on the sites, the listeners' and the
// video's comments, and the video area while a video preview plays.
//
// Channel "detail", page "page/TrackDetail/track.html":
//   app.setMetaData({...});  app.setCommentsOnYouTube([...]);
//   app.setCommentsOnMirelune([...]);
// Links the listener follows there open in the browser. The video area is
// the window's (app.setVideo on "main"); this controller keeps its state and
// tells its delegate when it changes.
#pragma once

#include <memory>
#include <optional>

#include "model/LastfmArtist.h"
#include "model/MRTrackDocument.h"
#include "recommend/MRRetrieveArtistInfoOperation.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRTrackDetailViewController;

class MRTrackDetailViewControllerDelegate {
 public:
  virtual ~MRTrackDetailViewControllerDelegate() = default;
  virtual void trackDetailViewControllerDidChangeVideoViewVisibility(
      MRTrackDetailViewController& controller) = 0;
  // The video shown or its player changed: the window sends videoState().
  virtual void trackDetailViewControllerDidChangeVideo(MRTrackDetailViewController& controller) = 0;
  // The artist of the track shown started or stopped loading
  // (isRetrievingArtistInfo()).
  virtual void trackDetailViewControllerDidChangeLoading(MRTrackDetailViewController& /*shown*/) {
  }
};

class MRTrackDetailViewController final : public ScriptBridgeDelegate,
                                          public MRTrackDetailShowing {
 public:
  static constexpr const char* kChannel = "detail";
  static constexpr const char* kPagePath = "page/TrackDetail/track.html";
  // Longer video comments are left out.
  static constexpr size_t kMaxVideoCommentLength = 99;
  static constexpr QueuePriority kArtistInfoPriority = QueuePriority::High;  // 4

  MRTrackDetailViewController(MRUiContext& context, MRTrackDetailViewControllerDelegate& delegate);
  ~MRTrackDetailViewController() override;

  // MRTrackDetailShowing.
  void retrieveArtistInfoForTrackItem(std::shared_ptr<MRPlaylistTrackItem> item) override;
  void setAutoloadOnPlay(bool autoload) override { autoloadOnPlay_ = autoload; }
  bool autoloadOnPlay() const { return autoloadOnPlay_; }

  void retrieveCommentsOnYouTubeForTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item);
  void retrieveCommentsOnMireluneForTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item);
  void showArtistMeta(const LastfmArtist& artist);
  void showYouTubeComments(const std::vector<YouTubeVideoComment>& comments);
  void showMireluneComments(const MRTrackDocument& track);

  void showVideoView();
  void hideVideoView();
  bool videoPlayerViewVisible() const { return videoVisible_; }
  // {"visible", "url", "position", "playing"} for app.setVideo.
  Value videoState() const;

  // The metadata object of app.setMetaData for `item` and `artist`.
  static Value metaData(const MRPlaylistTrackItem& item, const LastfmArtist& artist,
                        const AppConfig& config);

  // ScriptBridgeDelegate.
  void pageDidFinishLoad() override;
  void onAppMessage(const std::string&, const AppParams&) override {}
  void onLinkNavigation(const std::string& url) override;

  const std::shared_ptr<MRPlaylistTrackItem>& trackItem() const { return trackItem_; }
  const std::optional<LastfmArtist>& artistInfo() const { return artistInfo_; }
  const std::optional<MRTrackDocument>& trackDocument() const { return trackDocument_; }
  bool isRetrievingArtistInfo() const { return opArtistInfo_ != nullptr; }
  bool isRetrievingComments() const {
    return opYouTubeComments_ != nullptr || opMireluneComments_ != nullptr;
  }

 private:
  void send(const std::string& function, const Value& argument, std::string& last);
  void artistInfoDidComplete(const std::shared_ptr<MRRetrieveArtistInfoOperation>& operation);
  void trackPlayerDidPlay(const std::shared_ptr<MRTrackPlayer>& player);
  void trackPlayerDidStop(const std::shared_ptr<MRTrackPlayer>& player);
  void addViewForPlayer(const std::shared_ptr<MRTrackPlayer>& player);
  void removeViewForPlayer(const std::shared_ptr<MRTrackPlayer>& player);

  MRUiContext& context_;
  MRTrackDetailViewControllerDelegate& delegate_;
  std::unique_ptr<ScriptBridge> bridge_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  std::shared_ptr<MRPlaylistTrackItem> trackItem_;
  std::optional<LastfmArtist> artistInfo_;
  std::optional<MRTrackDocument> trackDocument_;
  std::shared_ptr<MRRetrieveArtistInfoOperation> opArtistInfo_;
  std::shared_ptr<HttpOperation> opYouTubeComments_;
  std::shared_ptr<HttpOperation> opMireluneComments_;
  // Tell a replaced request's answer apart.
  uint64_t youTubeGeneration_ = 0;
  uint64_t mireluneGeneration_ = 0;
  bool autoloadOnPlay_ = false;

  bool videoVisible_ = false;
  std::weak_ptr<MRTrackPlayer> videoPlayer_;

  // What the page was last sent, sent again when it reloads.
  std::string lastMetaData_, lastYouTubeComments_, lastMireluneComments_;

  std::vector<NotificationCenter::Token> observers_;
};

// Length as the page counts it: UTF-16 code units.
size_t utf16Length(const std::string& text);

}  // namespace mr
