// The home page: new releases, today's artists and the recommend genres,
// filled by three script calls once the page has loaded; the page's picks
// open mixes or the store.
//
// Channel "home-N", page "page/MainMenu/<MainMenuPage>.html":
//   app.setNewReleases([{"artwork", "artist", "title", "collectionId"}])
//   app.setTodaysArtists([{"index", "artwork", "name"}])
//   app.setGenreList([{"index", "artwork": [4 urls] or [], "genreTag"}])
//   page -> artistDidSelect (index), genreDidSelect (index),
//           newReleaseItemDidSelect (collectionId)
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "recommend/MRRecommendMixGenreSelector.h"
#include "social/MRTodaysArtistsController.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRMainMenuViewController final
    : public MRScreen,
      public MRRecommendMixGenreSelectorDelegate,
      public std::enable_shared_from_this<MRMainMenuViewController> {
 public:
  static constexpr double kReloadDelay = 0.2;
  static constexpr int64_t kNewReleaseCount = 50;
  static constexpr size_t kGenreCount = 30;
  static constexpr size_t kArtworksPerGenre = 4;

  static std::shared_ptr<MRMainMenuViewController> create(MRUiContext& context,
                                                          MRScreenHost& host);
  ~MRMainMenuViewController() override;

  std::string kind() const override { return "home"; }
  std::string title() const override;
  std::string pagePath() const override;
  // Reloads the contents 0.2 s later.
  void pageDidFinishLoad() override;
  void onAppMessage(const std::string& name, const AppParams& params) override;
  void screenWillDisappear() override;

  void reloadContents();
  void reloadNewReleases();
  void reloadRecommendMixGenres();
  void reloadTodaysArtists();
  void recommendMixGenreSelectorDidLoadTopGenres(MRRecommendMixGenreSelector& selector) override;

  void artistDidSelect(int index);
  void genreDidSelect(int index);
  void newReleaseItemDidSelect(uint64_t collectionId);

  const Array& genreList() const { return genreList_; }

 private:
  MRMainMenuViewController(MRUiContext& context, MRScreenHost& host);

  MRUiContext& context_;
  MRScreenHost& host_;
  bool shown_ = true;
  MRTodaysArtistsController todaysArtistsController_;
  std::shared_ptr<MRRecommendMixGenreSelector> genreSelector_;
  Array arrayNewReleaseTrack_;
  Array genreList_;
  std::vector<std::vector<std::shared_ptr<CDRecommendTrack>>> genreTrackList_;
  std::optional<TimerId> reloadTimer_;
  std::shared_ptr<HttpOperation> lookup_;
  uint64_t lookupGeneration_ = 0;  // tells a replaced lookup's answer apart
};

// Each word's first letter in upper case and the rest in lower case
// ("hip-hop" -> "Hip-Hop"); letters outside ASCII stay as they are.
std::string capitalizedString(const std::string& text);

}  // namespace mr
