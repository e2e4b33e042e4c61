#include "ui/MRFavoriteArtistListViewController.h"

#include "base/Localization.h"
#include "playback/MRFavoriteTrackMix.h"
#include "service/ovloAccount.h"
#include "store/CDArtist.h"
#include "store/CDFavoriteTrack.h"
#include "ui/ScriptCall.h"

namespace mr {

namespace {

// The largest picture the store knows of the artist.
std::optional<std::string> storedArtwork(const CDArtist& artist) {
  for (const auto& url : {artist.imageMega(), artist.imageExtraLarge(), artist.imageLarge(),
                          artist.imageMedium(), artist.imageSmall()}) {
    if (url && !url->empty()) return url;
  }
  return std::nullopt;
}

}  // namespace

MRFavoriteArtistListViewController::MRFavoriteArtistListViewController(MRUiContext& context,
                                                                       MRScreenHost& host)
    : context_(context), host_(host) {
  bridge_ = context.hub->open(context.hub->newChannelName("favoriteArtists"), this);
}

std::shared_ptr<MRFavoriteArtistListViewController> MRFavoriteArtistListViewController::create(
    MRUiContext& context, MRScreenHost& host) {
  std::shared_ptr<MRFavoriteArtistListViewController> screen(
      new MRFavoriteArtistListViewController(context, host));
  std::weak_ptr<MRFavoriteArtistListViewController> weak = screen;
  std::shared_ptr<Database> store = context.store;
  Dispatcher& main = context.environment().main();
  context.environment().background().post([weak, store, &main] {
    std::vector<std::string> names;
    std::vector<std::optional<std::string>> artworks;
    if (store) {
      auto storeContext = store->newContext();
      names = CDFavoriteTrackEntityController(storeContext).artists();
      CDArtistEntityController artists(storeContext);
      for (const auto& name : names) {
        auto artist = artists.findWithArtistName(name);
        artworks.push_back(artist ? storedArtwork(*artist) : std::nullopt);
      }
    }
    main.post([weak, names = std::move(names), artworks = std::move(artworks)]() mutable {
      auto self = weak.lock();
      if (!self) return;
      self->favoriteArtists_ = std::move(names);
      self->artworks_ = std::move(artworks);
      self->loading_ = false;
      self->render();
    });
  });
  return screen;
}

std::string MRFavoriteArtistListViewController::title() const {
  return localizedString("MyFavorites");
}

void MRFavoriteArtistListViewController::render() {
  Array items;
  items.emplace_back(Dictionary{
      {"title", Value(localizedString("MRFavoriteArtistListViewController_allTracks"))},
      {"artwork", Value("/resources/favorites/favorites_all.svg")},
      {"section", Value("")}});
  items.emplace_back(Dictionary{
      {"title", Value(localizedString("MRFavoriteArtistListViewController_random"))},
      {"artwork", Value("/resources/favorites/favorites_random.svg")},
      {"section", Value("")}});
  const std::string heading = localizedString("MRFavoriteArtistListViewController_artistSectionTitle");
  for (size_t i = 0; i < favoriteArtists_.size(); ++i) {
    const auto& artwork = i < artworks_.size() ? artworks_[i] : std::nullopt;
    items.emplace_back(Dictionary{{"title", Value(favoriteArtists_[i])},
                                  {"artwork", artwork ? Value(*artwork) : Value()},
                                  {"section", Value(heading)}});
  }
  Value progress;
  if (loading_) progress = Value(Dictionary{{"text", Value(localizedString("Loading"))}});
  bridge_->evaluate(scriptCall(
      "app.setList",
      Value(Dictionary{
          {"title", Value(title())},
          {"items", Value(std::move(items))},
          {"selected", lastSelectedIndex_ ? Value(*lastSelectedIndex_) : Value()},
          {"progress", progress},
          {"actions",
           Value(Array{Value(localizedString("MRFavoriteArtistListViewController_favoriteTracks"))})},
      })));
}

void MRFavoriteArtistListViewController::selectRow(int index) {
  if (index < 0) return;
  std::shared_ptr<MRFavoriteTrackMix> mix;
  if (index == kAllTracks || index == kRandom) {
    mix = std::make_shared<MRFavoriteTrackMix>(context_.mix);
    mix->setShuffled(index == kRandom);
  } else {
    const size_t artist = static_cast<size_t>(index - kFirstArtist);
    if (artist >= favoriteArtists_.size()) return;
    mix = std::make_shared<MRFavoriteTrackMix>(context_.mix, favoriteArtists_[artist]);
  }
  lastSelectedIndex_ = index;
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
}

std::optional<std::string> MRFavoriteArtistListViewController::favoritesPageURL() const {
  const auto name = ovloAccount(context_.environment().settings()).accountName();
  if (!name || name->empty()) return std::nullopt;
  return context_.config().mireluneWebBaseUrl + "/user/" + *name + "/favorites";
}

void MRFavoriteArtistListViewController::showActionSheet() {
  MRAlert sheet;
  sheet.title = localizedString("MRFavoriteArtistListViewController_favoriteTracks");
  sheet.buttons = {localizedString("MRFavoriteArtistListViewController_viewOnSafari"),
                   localizedString("Cancel")};
  sheet.cancelButton = 1;
  sheet.actionSheet = true;
  std::weak_ptr<MRFavoriteArtistListViewController> weak = weak_from_this();
  host_.showAlert(std::move(sheet), [weak](int button) {
    auto self = weak.lock();
    if (!self || button != 0) return;
    if (auto url = self->favoritesPageURL()) self->host_.openInBrowser(*url);
  });
}

void MRFavoriteArtistListViewController::onAppMessage(const std::string& name,
                                                      const AppParams& params) {
  if (name == "itemDidSelect") {
    selectRow(appParamInt(params, "index"));
  } else if (name == "listAction") {
    showActionSheet();
  }
}

}  // namespace mr
