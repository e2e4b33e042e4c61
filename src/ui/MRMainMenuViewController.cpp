#include "ui/MRMainMenuViewController.h"

#include <cctype>

#include "base/Localization.h"
#include "base/NSHTTPQueryDictionary.h"
#include "playback/MRArtistTopTrackMix.h"
#include "recommend/MRRecommendMix.h"
#include "service/ovloAccount.h"
#include "store/CDNewRelease.h"
#include "ui/MRInstructionWindowController.h"
#include "ui/ScriptCall.h"

namespace mr {

std::string capitalizedString(const std::string& text) {
  std::string out = text;
  bool inWord = false;
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      inWord = true;
    } else if (std::isalnum(byte)) {
      c = static_cast<char>(inWord ? std::tolower(byte) : std::toupper(byte));
      inWord = true;
    } else {
      inWord = false;
    }
  }
  return out;
}

MRMainMenuViewController::MRMainMenuViewController(MRUiContext& context, MRScreenHost& host)
    : context_(context),
      host_(host),
      todaysArtistsController_(context.environment(), context.store.get()) {
  bridge_ = context.hub->open(context.hub->newChannelName("home"), this);
}

std::shared_ptr<MRMainMenuViewController> MRMainMenuViewController::create(MRUiContext& context,
                                                                           MRScreenHost& host) {
  return std::shared_ptr<MRMainMenuViewController>(new MRMainMenuViewController(context, host));
}

MRMainMenuViewController::~MRMainMenuViewController() { screenWillDisappear(); }

std::string MRMainMenuViewController::title() const { return localizedString("Home"); }

std::string MRMainMenuViewController::pagePath() const {
  return "page/MainMenu/" + localizedString("MainMenuPage", "MainMenu") + ".html";
}

void MRMainMenuViewController::screenWillDisappear() {
  shown_ = false;
  if (reloadTimer_) context_.environment().main().cancel(*reloadTimer_);
  reloadTimer_.reset();
  if (lookup_) lookup_->cancel();
  lookup_.reset();
}

void MRMainMenuViewController::pageDidFinishLoad() {
  if (!shown_) return;
  host_.instructionWindow().showWelcomeMessage();
  Dispatcher& main = context_.environment().main();
  if (reloadTimer_) main.cancel(*reloadTimer_);
  std::weak_ptr<MRMainMenuViewController> weak = weak_from_this();
  reloadTimer_ = main.postAfter(seconds(kReloadDelay), [weak] {
    auto self = weak.lock();
    if (!self || !self->shown_) return;
    self->reloadTimer_.reset();
    self->reloadContents();
  });
}

void MRMainMenuViewController::reloadContents() {
  reloadNewReleases();
  reloadRecommendMixGenres();
  reloadTodaysArtists();
}

void MRMainMenuViewController::reloadNewReleases() {
  CDNewReleaseEntityController releases(context_.store.get());
  Array list;
  for (const auto& release : releases.findNewerTracksWithCount(kNewReleaseCount)) {
    auto artist = release->artist();
    list.emplace_back(Dictionary{
        {"artwork", textOrEmpty(release->imageUrl())},
        {"artist", artist ? textOrEmpty(artist->name()) : Value("")},
        {"title", textOrEmpty(release->title())},
        {"collectionId", Value(release->collectionId().value_or(0))},
    });
  }
  arrayNewReleaseTrack_ = list;
  bridge_->evaluate(scriptCall("app.setNewReleases", Value(std::move(list))));
}

void MRMainMenuViewController::reloadRecommendMixGenres() {
  if (!genreSelector_) {
    genreSelector_ = std::make_shared<MRRecommendMixGenreSelector>(context_.mix.recommend);
    genreSelector_->setDelegate(
        std::static_pointer_cast<MRRecommendMixGenreSelectorDelegate>(shared_from_this()));
  }
  genreSelector_->loadTopGenresOfNum(kGenreCount);
}

void MRMainMenuViewController::recommendMixGenreSelectorDidLoadTopGenres(
    MRRecommendMixGenreSelector& selector) {
  if (!shown_) return;
  genreList_.clear();
  genreTrackList_.clear();
  const auto& tags = selector.genreTags();
  for (size_t i = 0; i < tags.size(); ++i) {
    auto tracks = selector.genreTracksAtIndex(i, kArtworksPerGenre);
    Array artwork;
    if (!tracks.empty()) {
      for (size_t j = 0; j < kArtworksPerGenre; ++j)
        artwork.push_back(textOrEmpty(tracks[j % tracks.size()]->imageUrl()));
    }
    genreList_.emplace_back(Dictionary{{"index", Value(i)},
                                       {"artwork", Value(std::move(artwork))},
                                       {"genreTag", Value(capitalizedString(tags[i].name))}});
    genreTrackList_.push_back(std::move(tracks));
  }
  bridge_->evaluate(scriptCall("app.setGenreList", Value(genreList_)));
}

void MRMainMenuViewController::reloadTodaysArtists() {
  (void)todaysArtistsController_.selectTodaysArtistsWithForce(false);
  Array list;
  size_t index = 0;
  for (const auto& recommended : todaysArtistsController_.recommendArtists()) {
    auto artist = recommended->artist();
    list.emplace_back(Dictionary{
        {"index", Value(index++)},
        {"artwork", artist ? textOrEmpty(artist->imageLargest()) : Value("")},
        {"name", artist ? textOrEmpty(artist->name()) : Value("")},
    });
  }
  bridge_->evaluate(scriptCall("app.setTodaysArtists", Value(std::move(list))));
}

void MRMainMenuViewController::onAppMessage(const std::string& name, const AppParams& params) {
  if (!shown_) return;
  if (name == "artistDidSelect") {
    artistDidSelect(appParamInt(params, "index"));
  } else if (name == "genreDidSelect") {
    genreDidSelect(appParamInt(params, "index"));
  } else if (name == "newReleaseItemDidSelect") {
    auto found = params.find("collectionId");
    uint64_t id = 0;
    if (found != params.end()) {
      char* end = nullptr;
      const unsigned long long value = std::strtoull(found->second.c_str(), &end, 10);
      if (end != found->second.c_str() && *end == '\0' && found->second[0] != '-') id = value;
    }
    newReleaseItemDidSelect(id);
  }
}

void MRMainMenuViewController::artistDidSelect(int index) {
  const auto& artists = todaysArtistsController_.recommendArtists();
  if (index < 0 || static_cast<size_t>(index) >= artists.size()) return;
  auto artist = artists[static_cast<size_t>(index)]->artist();
  if (!artist || !artist->name()) return;
  auto mix = std::make_shared<MRArtistTopTrackMix>(context_.mix, *artist->name());
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
}

void MRMainMenuViewController::genreDidSelect(int index) {
  if (index < 0 || static_cast<size_t>(index) >= genreTrackList_.size() || !genreSelector_) return;
  auto tag = genreSelector_->genreTagAtIndex(static_cast<size_t>(index));
  if (!tag) return;
  std::vector<std::shared_ptr<MRRecommendMixTrackItem>> items;
  for (const auto& track : genreTrackList_[static_cast<size_t>(index)]) {
    auto item = std::make_shared<MRRecommendMixTrackItem>();
    track->assignToRecommendMixTrackItem(*item);
    items.push_back(std::move(item));
  }
  auto mix = std::make_shared<MRRecommendMix>(context_.mix.recommend, std::move(items), tag->name);
  if (context_.mix.serviceQueue) mix->loadTracks(*context_.mix.serviceQueue);
  host_.navigateWithViewController(host_.playlistScreenForPlaylist(mix), true);
}

void MRMainMenuViewController::newReleaseItemDidSelect(uint64_t collectionId) {
  auto iTunes = context_.iTunes();
  if (!iTunes) return;
  if (lookup_) lookup_->cancel();
  const uint64_t generation = ++lookupGeneration_;
  std::weak_ptr<MRMainMenuViewController> weak = weak_from_this();
  Dispatcher& main = context_.environment().main();
  const std::string country = ovloAccount(context_.environment().settings()).profile().countryCode();
  lookup_ = iTunes->lookupWithId(
      collectionId, std::string("album"), country,
      [weak, generation](std::vector<iTunesEntry> entries) {
        auto self = weak.lock();
        if (!self || !self->shown_ || generation != self->lookupGeneration_) return;
        self->lookup_.reset();
        if (entries.empty()) return;
        self->host_.openInBrowser(self->context_.config().affiliatePrefix +
                                  NSHTTPQueryDictionary::urlencode(entries.front().collectionViewUrl));
      },
      [weak, generation, &main](const Error& error) {
        // Failures come on the background pool; a cancelled lookup's too.
        main.post([weak, generation, error] {
          auto self = weak.lock();
          if (!self || !self->shown_ || generation != self->lookupGeneration_) return;
          self->lookup_.reset();
          self->host_.showAlert(errorAlert(error.description()), [](int) {});
        });
      });
}

}  // namespace mr
