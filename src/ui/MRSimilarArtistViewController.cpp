#include "ui/MRSimilarArtistViewController.h"

#include "base/Localization.h"
#include "playback/MRArtistTopTrackMix.h"
#include "ui/MRPlaylistViewController.h"
#include "ui/ScriptCall.h"

namespace mr {

MRSimilarArtistViewController::MRSimilarArtistViewController(MRUiContext& context,
                                                             MRScreenHost& host, std::string artist)
    : context_(context), host_(host), subjectArtist_(std::move(artist)) {
  bridge_ = context.hub->open(context.hub->newChannelName("similarArtists"), this);
}

MRSimilarArtistViewController::~MRSimilarArtistViewController() {
  if (retrievalOp_) retrievalOp_->cancel();
}

std::shared_ptr<MRSimilarArtistViewController> MRSimilarArtistViewController::create(
    MRUiContext& context, MRScreenHost& host, const std::string& subjectArtist) {
  std::shared_ptr<MRSimilarArtistViewController> screen(
      new MRSimilarArtistViewController(context, host, subjectArtist));
  auto lastfm = context.lastfm();
  if (!lastfm) return screen;
  std::weak_ptr<MRSimilarArtistViewController> weak = screen;
  Dispatcher& main = context.environment().main();
  screen->retrievalOp_ = lastfm->requestArtist_GetSimilarWithName(
      subjectArtist, kSimilarArtistLimit, true,
      [weak](std::vector<LastfmArtist> found) {
        // On the main thread.
        auto self = weak.lock();
        if (!self || !self->retrievalOp_) return;
        self->retrievalOp_.reset();
        self->similarArtists_ = std::move(found);
        self->render();
      },
      [weak, &main](const Error& error) {
        // Errors come on the background pool.
        main.post([weak, description = error.description()] {
          auto self = weak.lock();
          if (!self || !self->retrievalOp_) return;
          self->retrievalOp_.reset();
          self->render();
          self->host_.showAlert(errorAlert(description), [](int) {});
        });
      });
  return screen;
}

std::string MRSimilarArtistViewController::title() const {
  return formatLocalized(localizedString("MRSimilarArtistViewController_Title"), {subjectArtist_});
}

void MRSimilarArtistViewController::render() {
  Array items;
  for (const auto& artist : similarArtists_) {
    const std::string& image = artist.imageUrl.largest();
    items.emplace_back(Dictionary{{"title", Value(artist.name)},
                                  {"artwork", image.empty() ? Value() : Value(image)}});
  }
  Value progress;
  if (retrievalOp_) progress = Value(Dictionary{{"text", Value(localizedString("Loading"))}});
  bridge_->evaluate(scriptCall("app.setList", Value(Dictionary{{"title", Value(title())},
                                                                {"items", Value(std::move(items))},
                                                                {"progress", progress}})));
}

void MRSimilarArtistViewController::onAppMessage(const std::string& name, const AppParams& params) {
  if (name != "itemDidSelect") return;
  const int index = appParamInt(params, "index");
  if (index < 0 || static_cast<size_t>(index) >= similarArtists_.size()) return;
  auto mix = std::make_shared<MRArtistTopTrackMix>(
      context_.mix, similarArtists_[static_cast<size_t>(index)].name);
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
}

void MRSimilarArtistViewController::screenWillDisappear() {
  if (retrievalOp_) retrievalOp_->cancel();
  retrievalOp_.reset();
}

}  // namespace mr
