// The favorites by artist (side menu item 1): all favorites, all of them
// shuffled, then one row per favorite artist, each opening its favorites
// mix. The header's action offers the listener's favorites page on the web.
// Drawn by the shell as a list screen of kind "favoriteArtists".
//
// Channel "favoriteArtists-N": app.setList; items 0 and 1 are section 0
// (no heading), the artists follow under the artist section's heading;
// `actions` holds the one action button. Page -> program: itemDidSelect
// (index), listAction (index 0).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRFavoriteArtistListViewController final
    : public MRScreen,
      public std::enable_shared_from_this<MRFavoriteArtistListViewController> {
 public:
  // Rows of section 0.
  enum Row { kAllTracks = 0, kRandom = 1, kFirstArtist = 2 };

  // Starts reading the favorites' artists on the background pool.
  static std::shared_ptr<MRFavoriteArtistListViewController> create(MRUiContext& context,
                                                                    MRScreenHost& host);

  std::string kind() const override { return "favoriteArtists"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;
  void screenWillDisappear() override { gone_ = true; }

  // The distinct artists of the favorites, sorted; empty until read.
  const std::vector<std::string>& favoriteArtists() const { return favoriteArtists_; }
  bool isLoading() const { return loading_; }
  // Opens the mix of the row, as a choice of the listener does.
  void selectRow(int index);
  // The action sheet of the header's button.
  void showActionSheet();
  // "<web host>/user/<account name>/favorites"; none without an account name.
  std::optional<std::string> favoritesPageURL() const;

 private:
  struct Artist {
    std::string name;
    std::optional<std::string> artwork;
  };
  MRFavoriteArtistListViewController(MRUiContext& context, MRScreenHost& host);
  void render();

  MRUiContext& context_;
  MRScreenHost& host_;
  std::vector<std::string> favoriteArtists_;
  std::vector<std::optional<std::string>> artworks_;
  std::optional<int> lastSelectedIndex_;
  bool loading_ = true;
  bool gone_ = false;
};

}  // namespace mr
