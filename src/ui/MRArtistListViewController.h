// A screen the shell draws: a list of artist names, each opening the
// artist's top-track mix. Two of them: the artists of the favorites
// ("favoriteArtists") and the artists like one artist ("similarArtists").
//
// Channel "favoriteArtists-N" / "similarArtists-N":
//   app.setArtistList({"title", "artists": [names], "loading": bool})
//   page -> artistDidSelect (index)
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRArtistListViewController final
    : public MRScreen,
      public std::enable_shared_from_this<MRArtistListViewController> {
 public:
  // The favorites' distinct artists, read from the store at once.
  static std::shared_ptr<MRArtistListViewController> favoriteArtists(MRUiContext& context,
                                                                     MRScreenHost& host);
  // The artists Last.fm finds similar to `artist`; loading until it answers.
  static std::shared_ptr<MRArtistListViewController> similarArtists(MRUiContext& context,
                                                                    MRScreenHost& host,
                                                                    const std::string& artist);
  ~MRArtistListViewController() override;

  std::string kind() const override { return kind_; }
  std::string title() const override { return title_; }
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;
  void screenWillDisappear() override;

  const std::vector<std::string>& artists() const { return artists_; }
  bool isLoading() const { return loading_; }

 private:
  MRArtistListViewController(MRUiContext& context, MRScreenHost& host, std::string kind,
                             std::string title);
  void render();

  MRUiContext& context_;
  MRScreenHost& host_;
  const std::string kind_;
  const std::string title_;
  std::vector<std::string> artists_;
  bool loading_ = false;
  std::shared_ptr<HttpOperation> request_;
};

}  // namespace mr
