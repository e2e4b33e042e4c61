// The artists Last.fm finds like one artist (the playlist's related-artists
// action): names and largest images, each opening that artist's top-track
// mix. Drawn by the shell as a list screen of kind "similarArtists".
//
// Channel "similarArtists-N": app.setList with `progress` ("Loading") until
// Last.fm answers. Page -> program: itemDidSelect (index).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/LastfmArtist.h"
#include "ui/MRScreen.h"
#include "ui/MRUiContext.h"

namespace mr {

class MRSimilarArtistViewController final
    : public MRScreen,
      public std::enable_shared_from_this<MRSimilarArtistViewController> {
 public:
  static constexpr int kSimilarArtistLimit = 20;

  // Asks Last.fm at once (autocorrect on); a failure is alerted.
  static std::shared_ptr<MRSimilarArtistViewController> create(MRUiContext& context,
                                                               MRScreenHost& host,
                                                               const std::string& subjectArtist);
  ~MRSimilarArtistViewController() override;

  std::string kind() const override { return "similarArtists"; }
  std::string title() const override;
  void pageDidFinishLoad() override { render(); }
  void onAppMessage(const std::string& name, const AppParams& params) override;
  void screenWillDisappear() override;

  const std::string& subjectArtist() const { return subjectArtist_; }
  const std::vector<LastfmArtist>& similarArtists() const { return similarArtists_; }
  bool isLoading() const { return retrievalOp_ != nullptr; }

 private:
  MRSimilarArtistViewController(MRUiContext& context, MRScreenHost& host, std::string artist);
  void render();

  MRUiContext& context_;
  MRScreenHost& host_;
  const std::string subjectArtist_;
  std::vector<LastfmArtist> similarArtists_;
  std::shared_ptr<HttpOperation> retrievalOp_;
};

}  // namespace mr
