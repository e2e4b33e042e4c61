#include "recommend/MRRecommendMixGenreSelector.h"

#include "base/MRServiceOperationQueue.h"
#include "base/Random.h"

namespace mr {

MRRecommendMixGenreSelector::MRRecommendMixGenreSelector(MRRecommendParts parts)
    : parts_(std::move(parts)),
      artists_(parts_.store.get()),
      recommendTracks_(parts_.store.get()) {}

std::vector<MRGenreTag> MRRecommendMixGenreSelector::getTopTagsOfNum(size_t count) const {
  // A context of its own: this may run off the main thread.
  CDGenreTagEntityController tags(parts_.store.get());
  auto vector = tags.aggregateRecommendGenreTagVector();
  if (vector.size() > count) vector.resize(count);
  return vector;
}

void MRRecommendMixGenreSelector::setTopGenres(std::vector<MRGenreTag> tags) {
  genreTags_ = std::move(tags);
  genreArtists_.assign(genreTags_.size(), nullptr);
}

void MRRecommendMixGenreSelector::loadTopGenresOfNum(size_t count) {
  std::weak_ptr<MRRecommendMixGenreSelector> weak = weak_from_this();
  const Env& env = *parts_.env;
  env.background().post([weak, count, &env] {
    auto self = weak.lock();
    if (!self) return;
    auto tags = std::make_shared<std::vector<MRGenreTag>>(self->getTopTagsOfNum(count));
    env.main().post([weak, tags] {
      auto self = weak.lock();
      if (!self) return;
      self->setTopGenres(std::move(*tags));
      if (auto delegate = self->delegate_.lock())
        delegate->recommendMixGenreSelectorDidLoadTopGenres(*self);
    });
  });
}

std::optional<MRGenreTag> MRRecommendMixGenreSelector::genreTagAtIndex(size_t index) const {
  if (index >= genreTags_.size()) return std::nullopt;
  return genreTags_[index];
}

std::shared_ptr<CDArtist> MRRecommendMixGenreSelector::selectArtistRandomelyForGenreTag(
    const MRGenreTag& tag) const {
  const auto artists = artists_.findWithTagName(tag.name, kArtistsPerGenre, true);
  if (artists.empty()) return nullptr;
  return artists[randomIndex(artists.size())];
}

std::shared_ptr<CDArtist> MRRecommendMixGenreSelector::artistInfoAtIndex(size_t index) {
  if (index >= genreTags_.size()) return nullptr;
  if (!genreArtists_[index])
    genreArtists_[index] = selectArtistRandomelyForGenreTag(genreTags_[index]);
  return genreArtists_[index];
}

std::shared_ptr<CDRecommendTrack> MRRecommendMixGenreSelector::trackAtIndex(size_t index) {
  const auto artist = artistInfoAtIndex(index);
  if (!artist) return nullptr;
  const auto tracks = artist->recommendTrack();
  if (tracks.empty()) return nullptr;
  return tracks[randomIndex(tracks.size())];
}

std::vector<std::shared_ptr<CDRecommendTrack>> MRRecommendMixGenreSelector::genreTracksAtIndex(
    size_t index, size_t count) const {
  if (index >= genreTags_.size()) return {};
  return recommendTracks_.findWithGenreTag(genreTags_[index].name, count);
}

std::shared_ptr<MRRecommendMix> MRRecommendMixGenreSelector::preparePlaylistWithGenreTag(
    const MRGenreTag& tag, const CDRecommendTrack& firstTrack,
    MRServiceOperationQueue& queue) const {
  auto item = std::make_shared<MRRecommendMixTrackItem>();
  firstTrack.assignToRecommendMixTrackItem(*item);
  auto mix = std::make_shared<MRRecommendMix>(parts_, item, tag.name);
  mix->loadTracks(queue);
  return mix;
}

}  // namespace mr
