#include "ui/MRArtistListViewController.h"

#include "base/Localization.h"
#include "playback/MRArtistTopTrackMix.h"
#include "store/CDFavoriteTrack.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {
constexpr int kSimilarArtistLimit = 50;
}

MRArtistListViewController::MRArtistListViewController(MRUiContext& context, MRScreenHost& host,
                                                       std::string kind, std::string title)
    : context_(context), host_(host), kind_(std::move(kind)), title_(std::move(title)) {
  bridge_ = context.hub->open(context.hub->newChannelName(kind_), this);
}

MRArtistListViewController::~MRArtistListViewController() {
  if (request_) request_->cancel();
}

std::shared_ptr<MRArtistListViewController> MRArtistListViewController::favoriteArtists(
    MRUiContext& context, MRScreenHost& host) {
  std::shared_ptr<MRArtistListViewController> screen(new MRArtistListViewController(
      context, host, "favoriteArtists", localizedString("MyFavorites")));
  screen->artists_ = CDFavoriteTrackEntityController(context.store.get()).artists();
  return screen;
}

std::shared_ptr<MRArtistListViewController> MRArtistListViewController::similarArtists(
    MRUiContext& context, MRScreenHost& host, const std::string& artist) {
  std::shared_ptr<MRArtistListViewController> screen(
      new MRArtistListViewController(context, host, "similarArtists", artist));
  auto lastfm = context.lastfm();
  if (!lastfm) return screen;
  screen->loading_ = true;
  std::weak_ptr<MRArtistListViewController> weak = screen;
  Dispatcher& main = context.environment().main();
  screen->request_ = lastfm->requestArtist_GetSimilarWithName(
      artist, kSimilarArtistLimit, true,
      [weak](std::vector<LastfmArtist> found) {
        auto self = weak.lock();
        if (!self || !self->loading_) return;
        self->loading_ = false;
        self->request_.reset();
        for (const auto& each : found)
          self->artists_.push_back(each.name);
        self->render();
      },
      [weak, &main](const Error&) {
        // Errors come on the background pool.
        main.post([weak] {
          auto self = weak.lock();
          if (!self || !self->loading_) return;
          self->loading_ = false;
          self->request_.reset();
          self->render();
        });
      });
  if (!screen->request_) screen->loading_ = false;
  return screen;
}

void MRArtistListViewController::render() {
  Array items;
  for (const auto& name : artists_)
    items.emplace_back(Dictionary{{"title", Value(name)}, {"artwork", Value()}});
  Value progress;
  if (loading_) progress = Value(Dictionary{{"text", Value(localizedString("Loading"))}});
  bridge_->evaluate(scriptCall("app.setList", Value(Dictionary{{"title", Value(title_)},
                                                                {"items", Value(items)},
                                                                {"progress", progress}})));
}

void MRArtistListViewController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name != "itemDidSelect") return;
  const int index = appParamInt(params, "index");
  if (index < 0 || static_cast<size_t>(index) >= artists_.size()) return;
  auto mix = std::make_shared<MRArtistTopTrackMix>(context_.mix, artists_[static_cast<size_t>(index)]);
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
}

void MRArtistListViewController::screenWillDisappear() {
  if (request_) request_->cancel();
  request_.reset();
  loading_ = false;
}

}  // namespace mr
