// The genres offered for a recommend mix: the commonest tags among the
// artists with recommendations, each shown with one of those artists and
// one of its tracks, chosen at random the first time they are asked for.
// Used from the main thread.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "model/MRGenreTag.h"
#include "recommend/MRRecommendMix.h"

namespace mr {

class MRRecommendMixGenreSelector;
class MRServiceOperationQueue;

class MRRecommendMixGenreSelectorDelegate {
 public:
  virtual ~MRRecommendMixGenreSelectorDelegate() = default;
  virtual void recommendMixGenreSelectorDidLoadTopGenres(MRRecommendMixGenreSelector& selector) = 0;
};

class MRRecommendMixGenreSelector
    : public std::enable_shared_from_this<MRRecommendMixGenreSelector> {
 public:
  static constexpr size_t kTopGenres = 15;
  static constexpr int64_t kArtistsPerGenre = 50;

  explicit MRRecommendMixGenreSelector(MRRecommendParts parts);

  // Loads in the background, then sets the lists and tells the delegate on
  // the main thread.
  void loadTopGenres() { loadTopGenresOfNum(kTopGenres); }
  void loadTopGenresOfNum(size_t count);
  // The first `count` tags of the recommendations' tag vector, by count.
  std::vector<MRGenreTag> getTopTagsOfNum(size_t count) const;

  const std::vector<MRGenreTag>& genreTags() const { return genreTags_; }
  std::optional<MRGenreTag> genreTagAtIndex(size_t index) const;
  // The artist shown for the genre: chosen once, then kept; nullptr while
  // no artist of the tag has recommendations (asked again next time).
  std::shared_ptr<CDArtist> artistInfoAtIndex(size_t index);
  // One recommended track of that artist.
  std::shared_ptr<CDRecommendTrack> trackAtIndex(size_t index);
  std::vector<std::shared_ptr<CDRecommendTrack>> genreTracksAtIndex(size_t index,
                                                                    size_t count) const;
  std::shared_ptr<CDArtist> selectArtistRandomelyForGenreTag(const MRGenreTag& tag) const;
  // A mix of the tag opened on that track, already loading on `queue`.
  std::shared_ptr<MRRecommendMix> preparePlaylistWithGenreTag(const MRGenreTag& tag,
                                                              const CDRecommendTrack& firstTrack,
                                                              MRServiceOperationQueue& queue) const;

  void setDelegate(std::weak_ptr<MRRecommendMixGenreSelectorDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  // For a caller without a main loop of its own: the lists at once.
  void setTopGenres(std::vector<MRGenreTag> tags);

 private:
  MRRecommendParts parts_;
  CDArtistEntityController artists_;
  CDRecommendTrackEntityController recommendTracks_;
  std::vector<MRGenreTag> genreTags_;
  std::vector<std::shared_ptr<CDArtist>> genreArtists_;  // nullptr: not chosen yet
  std::weak_ptr<MRRecommendMixGenreSelectorDelegate> delegate_;
};

}  // namespace mr
