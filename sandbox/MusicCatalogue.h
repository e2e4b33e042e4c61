// The made-up world of music the sandbox's stand-ins for Last.fm, the iTunes
// Store search and the video site share: artists with tags, biographies and
// similar artists; albums and tracks with popularity; which tracks the store
// sells with a preview; and the videos of the video site, music videos and
// the decoys around them (parodies, covers, interviews).
//
// Everything follows from the seed: the same seed gives the same catalogue,
// on every machine, so tests may name what they find in it. Lists that would
// be large (each track's similar tracks, each video's comments) are worked
// out when asked for, from the seed and the item alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sandbox/LibraryWriter.h"

namespace mr::sandbox {

struct CatalogueBio {
  std::string published;  // "12 Mar 2011, 10:04"
  std::string summary;    // the first paragraph
  std::string content;    // the summary and more
};

struct CatalogueArtist {
  int index = 0;
  std::string name;
  std::string mbid;               // empty for some
  std::vector<std::string> tags;  // 1 to 4; the first is the main genre
  CatalogueBio englishBio;        // empty texts for a few artists
  CatalogueBio japaneseBio;
  bool hasImages = true;     // false: the image elements are there but empty
  bool hasMegaImage = true;  // false: no "mega" size in the image list
  int64_t listeners = 0;
  int64_t playcount = 0;
  std::vector<std::pair<int, double>> similar;  // artist, match; best first
  std::vector<int> albums;                      // oldest first
  std::vector<int> tracks;                      // most played first
  int64_t storeArtistId = 0;                    // 0 when the store sells none of its tracks
  std::string country;                          // where the biographies say it comes from
  int formedYear = 0;
};

struct CatalogueAlbum {
  int index = 0;
  int artist = 0;
  std::string title;
  std::string releaseDate;        // "2012-03-05T08:00:00Z"
  std::vector<int> tracks;        // in track order
  int64_t storeCollectionId = 0;  // 0 when the store sells none of its tracks
};

enum class StoreListing {
  Song,            // a song with a preview
  MusicVideoOnly,  // listed only as a music video (kind "music-video")
  None,
};

struct CatalogueTrack {
  int index = 0;
  int artist = 0;
  int album = 0;
  int trackNumber = 0;  // 1-based, within the album
  std::string title;
  std::string mbid;  // empty for some
  int64_t playcount = 0;
  int64_t listeners = 0;
  int durationMs = 0;
  StoreListing store = StoreListing::None;
  int64_t storeTrackId = 0;  // 0 when not listed
  int preview = 0;           // which of the shared preview files plays for it
  int musicVideo = -1;       // its music video, or -1
};

enum class VideoKind {
  MusicVideo,  // the track's own video: category "Music" or "Entertainment"
  Parody,      // names artist and title, category "Comedy": never the music video
  Cover,       // names the title but not the artist
  Interview,   // names the artist but not the title, category "Entertainment"
};

struct CatalogueVideo {
  int index = 0;
  std::string id;  // 11 characters of [A-Za-z0-9_-]
  int track = 0;   // the track it is about
  VideoKind kind = VideoKind::MusicVideo;
  std::string title;
  std::string description;
  std::string keywords;  // comma-separated
  std::string category;  // "Music", "Entertainment", "Comedy"
  std::string author;
  bool restricted = false;  // syndication restricted: no streams on its page
  int64_t viewCount = 0;
  int64_t favoriteCount = 0;
  int durationSeconds = 0;
  std::string published;         // "2011-04-05T06:07:08.000Z"
  int streamCount = 0;           // 1 to 4 entries in the watch page's stream map; 0 when restricted
  bool blanklessMarker = false;  // the watch page writes its data marker without the blank
  int commentCount = 0;
};

struct CatalogueComment {
  std::string author;
  std::string content;
  std::string published;  // "2013-04-05T06:07:08.000Z"
};

class MusicCatalogue {
 public:
  static constexpr uint64_t kDefaultSeed = 20130405;
  static constexpr int kArtistCount = 300;
  static constexpr int kPreviewFiles = 8;

  explicit MusicCatalogue(uint64_t seed = kDefaultSeed);

  uint64_t seed() const { return seed_; }
  const std::vector<CatalogueArtist>& artists() const { return artists_; }
  const std::vector<CatalogueAlbum>& albums() const { return albums_; }
  const std::vector<CatalogueTrack>& tracks() const { return tracks_; }
  const std::vector<CatalogueVideo>& videos() const { return videos_; }
  // Every tag in use, the main genres first.
  static const std::vector<std::string>& tagNames();

  // By name: exactly, or ignoring case (ASCII and Latin-1 letters) and
  // runs of blanks when `ignoreCase`.
  const CatalogueArtist* findArtist(std::string_view name, bool ignoreCase) const;
  const CatalogueArtist* findArtistByMbid(std::string_view mbid) const;
  const CatalogueTrack* findTrack(const CatalogueArtist& artist, std::string_view title,
                                  bool ignoreCase) const;
  const CatalogueTrack* findTrackByMbid(std::string_view mbid) const;
  const CatalogueVideo* findVideo(std::string_view id) const;
  const CatalogueArtist& artistOf(const CatalogueTrack& track) const {
    return artists_[static_cast<size_t>(track.artist)];
  }
  const CatalogueAlbum& albumOf(const CatalogueTrack& track) const {
    return albums_[static_cast<size_t>(track.album)];
  }

  // 20 to 50 tracks of other artists, most similar first, the first with
  // match 1 and the rest falling from there; mostly tracks of the similar
  // artists.
  std::vector<std::pair<int, double>> similarTracks(int track) const;
  // The video's comments, newest first (commentCount of them).
  std::vector<CatalogueComment> comments(int video) const;

  // `count` tracks for a listener's library (at most every track): spread
  // over many artists, the better-known tracks first, each with a play count.
  std::vector<LibraryTrack> libraryTracks(int count) const;

  // The store's genre for a tag: its name and number.
  static std::pair<std::string, int> storeGenre(const std::string& tag);

  // Lower-cases ASCII and Latin-1 letters and folds runs of blanks, for
  // comparing names as the services do.
  static std::string foldName(std::string_view name);
  // The words of a text for searching: folded, apostrophes dropped, split at
  // every other ASCII punctuation mark or blank.
  static std::vector<std::string> searchWords(std::string_view text);

 private:
  void makeArtists();
  void makeSimilarArtists();
  void makeAlbumsAndTracks();
  void makeBiographies();
  void makeVideos();

  uint64_t seed_;
  std::vector<CatalogueArtist> artists_;
  std::vector<CatalogueAlbum> albums_;
  std::vector<CatalogueTrack> tracks_;
  std::vector<CatalogueVideo> videos_;
  std::unordered_map<std::string, int> artistsByName_;
  std::unordered_map<std::string, int> artistsByFoldedName_;
  std::unordered_map<std::string, int> artistsByMbid_;
  std::unordered_map<std::string, int> tracksByMbid_;
  std::unordered_map<std::string, int> videosById_;
  std::vector<std::vector<int>> artistsByTag_;
};

}  // namespace mr::sandbox
