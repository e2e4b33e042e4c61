#include "sandbox/MusicCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace mr {
namespace {

using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;
using sandbox::CatalogueVideo;
using sandbox::MusicCatalogue;
using sandbox::StoreListing;
using sandbox::VideoKind;

const MusicCatalogue& catalogue() {
  static const MusicCatalogue shared;
  return shared;
}

int sharedTags(const CatalogueArtist& a, const CatalogueArtist& b) {
  int shared = 0;
  for (const std::string& tag : a.tags)
    shared += static_cast<int>(std::count(b.tags.begin(), b.tags.end(), tag));
  return shared;
}

TEST(MusicCatalogueTest, TheSameSeedMakesTheSameCatalogueAndAnotherSeedAnother) {
  const MusicCatalogue again(MusicCatalogue::kDefaultSeed);
  const MusicCatalogue other(7);
  ASSERT_EQ(again.artists().size(), catalogue().artists().size());
  ASSERT_EQ(again.tracks().size(), catalogue().tracks().size());
  for (size_t i = 0; i < again.artists().size(); ++i) {
    EXPECT_EQ(again.artists()[i].name, catalogue().artists()[i].name);
    EXPECT_EQ(again.artists()[i].similar, catalogue().artists()[i].similar);
  }
  for (size_t i = 0; i < again.tracks().size(); ++i)
    EXPECT_EQ(again.tracks()[i].title, catalogue().tracks()[i].title);
  ASSERT_EQ(again.videos().size(), catalogue().videos().size());
  EXPECT_EQ(again.videos()[17].id, catalogue().videos()[17].id);
  EXPECT_EQ(again.similarTracks(42), catalogue().similarTracks(42));
  EXPECT_EQ(again.comments(5).size(), catalogue().comments(5).size());

  int differing = 0;
  for (size_t i = 0; i < 20; ++i)
    differing += other.artists()[i].name != catalogue().artists()[i].name ? 1 : 0;
  EXPECT_GT(differing, 15);
}

TEST(MusicCatalogueTest, ArtistsHaveUniqueNamesTagsBiographiesAndSimilarArtists) {
  const auto& artists = catalogue().artists();
  ASSERT_EQ(artists.size(), static_cast<size_t>(MusicCatalogue::kArtistCount));
  std::set<std::string> folded;
  int nonAscii = 0, withBlank = 0, withoutMbid = 0, withoutBio = 0, kana = 0;
  std::map<std::string, int> wordUse;
  for (const CatalogueArtist& artist : artists) {
    EXPECT_TRUE(folded.insert(MusicCatalogue::foldName(artist.name)).second) << artist.name;
    nonAscii +=
        std::any_of(artist.name.begin(), artist.name.end(), [](char c) { return (c & 0x80) != 0; });
    kana += static_cast<unsigned char>(artist.name[0]) >= 0xE0;
    withBlank += artist.name.find(' ') != std::string::npos;
    withoutMbid += artist.mbid.empty();
    withoutBio += artist.englishBio.summary.empty();
    for (const std::string& word : MusicCatalogue::searchWords(artist.name))
      ++wordUse[word];

    EXPECT_GE(artist.tags.size(), 1u);
    EXPECT_LE(artist.tags.size(), 4u);
    for (const std::string& tag : artist.tags) {
      const auto& known = MusicCatalogue::tagNames();
      EXPECT_NE(std::find(known.begin(), known.end(), tag), known.end()) << tag;
    }
    EXPECT_GE(artist.similar.size(), 5u);
    EXPECT_LE(artist.similar.size(), 10u);
    EXPECT_DOUBLE_EQ(artist.similar.front().second, 1.0);
    for (size_t i = 1; i < artist.similar.size(); ++i)
      EXPECT_LT(artist.similar[i].second, artist.similar[i - 1].second);
    for (const auto& [other, match] : artist.similar)
      EXPECT_NE(other, artist.index);
    EXPECT_GE(artist.tracks.size(), 8u);
    EXPECT_LE(artist.tracks.size(), 15u);
    for (size_t i = 1; i < artist.tracks.size(); ++i) {
      EXPECT_GE(catalogue().tracks()[static_cast<size_t>(artist.tracks[i - 1])].playcount,
                catalogue().tracks()[static_cast<size_t>(artist.tracks[i])].playcount);
    }
    if (!artist.englishBio.summary.empty()) {
      EXPECT_NE(artist.englishBio.summary.find(artist.name), std::string::npos);
      EXPECT_TRUE(artist.englishBio.content.starts_with(artist.englishBio.summary));
      EXPECT_NE(artist.japaneseBio.summary.find("出身"), std::string::npos);
    }
  }
  EXPECT_GE(nonAscii, 5);
  EXPECT_GE(kana, 2);
  EXPECT_GE(withBlank, 100);
  EXPECT_GT(withoutMbid, 0);
  EXPECT_GT(withoutBio, 0);
  EXPECT_LT(withoutBio, 40);
  EXPECT_TRUE(std::any_of(wordUse.begin(), wordUse.end(),
                          [](const auto& use) { return use.first != "the" && use.second >= 3; }));
}

TEST(MusicCatalogueTest, SimilarArtistsShareTagsMoreThanChanceWould) {
  double similarShare = 0, neighbourShare = 0;
  const auto& artists = catalogue().artists();
  for (const CatalogueArtist& artist : artists) {
    double mine = 0;
    for (const auto& [other, match] : artist.similar)
      mine += sharedTags(artist, artists[static_cast<size_t>(other)]);
    similarShare += mine / static_cast<double>(artist.similar.size());
    neighbourShare += sharedTags(artist, artists[static_cast<size_t>((artist.index + 1) % 300)]);
  }
  EXPECT_GT(similarShare, 2 * neighbourShare);
}

TEST(MusicCatalogueTest, MostTracksAreInTheStoreAndManyHaveAMusicVideo) {
  const auto& tracks = catalogue().tracks();
  int songs = 0, videoOnly = 0, withVideo = 0;
  std::set<int> previews;
  for (const CatalogueTrack& track : tracks) {
    songs += track.store == StoreListing::Song;
    videoOnly += track.store == StoreListing::MusicVideoOnly;
    EXPECT_EQ(track.storeTrackId != 0, track.store != StoreListing::None);
    previews.insert(track.preview);
    if (track.musicVideo >= 0) {
      ++withVideo;
      const CatalogueVideo& video = catalogue().videos()[static_cast<size_t>(track.musicVideo)];
      EXPECT_EQ(video.kind, VideoKind::MusicVideo);
      EXPECT_EQ(video.track, track.index);
      const std::string text =
          MusicCatalogue::foldName(video.title + " " + video.keywords + " " + video.description);
      EXPECT_NE(text.find(MusicCatalogue::foldName(track.title)), std::string::npos);
      EXPECT_NE(text.find(MusicCatalogue::foldName(catalogue().artistOf(track).name)),
                std::string::npos);
    }
  }
  const double count = static_cast<double>(tracks.size());
  EXPECT_NEAR(songs / count, 0.85, 0.03);
  EXPECT_GT(videoOnly, 0);
  EXPECT_NEAR(withVideo / count, 0.60, 0.03);
  EXPECT_EQ(previews.size(), static_cast<size_t>(MusicCatalogue::kPreviewFiles));
}

TEST(MusicCatalogueTest, VideosIncludeDecoysAndRestrictedOnes) {
  std::map<std::string, int> categories;
  int parodies = 0, covers = 0, interviews = 0, restricted = 0, blankless = 0, uncommented = 0;
  std::set<std::string> ids;
  for (const CatalogueVideo& video : catalogue().videos()) {
    EXPECT_EQ(video.id.size(), 11u);
    EXPECT_TRUE(ids.insert(video.id).second);
    EXPECT_EQ(catalogue().findVideo(video.id), &video);
    ++categories[video.category];
    const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(video.track)];
    const std::string text =
        MusicCatalogue::foldName(video.title + " " + video.keywords + " " + video.description);
    const bool namesArtist =
        text.find(MusicCatalogue::foldName(catalogue().artistOf(track).name)) != std::string::npos;
    const bool namesTitle = text.find(MusicCatalogue::foldName(track.title)) != std::string::npos;
    switch (video.kind) {
      case VideoKind::Parody:
        ++parodies;
        EXPECT_EQ(video.category, "Comedy");
        EXPECT_TRUE(namesArtist && namesTitle);
        break;
      case VideoKind::Cover:
        ++covers;
        EXPECT_TRUE(namesTitle && !namesArtist) << video.title;
        break;
      case VideoKind::Interview:
        ++interviews;
        EXPECT_TRUE(namesArtist && !namesTitle) << video.title;
        break;
      case VideoKind::MusicVideo:
        EXPECT_TRUE(video.category == "Music" || video.category == "Entertainment");
        break;
    }
    restricted += video.restricted;
    if (video.restricted) {
      EXPECT_EQ(video.streamCount, 0);
    }
    if (!video.restricted) {
      EXPECT_GE(video.streamCount, 1);
      EXPECT_LE(video.streamCount, 4);
    }
    blankless += video.blanklessMarker;
    uncommented += video.commentCount == 0;
  }
  EXPECT_GT(categories["Music"], categories["Entertainment"]);
  EXPECT_GT(categories["Entertainment"], 0);
  EXPECT_GT(categories["Comedy"], 100);
  EXPECT_GT(covers, 50);
  EXPECT_GT(interviews, 50);
  EXPECT_GT(parodies, 100);
  EXPECT_GT(restricted, 20);
  EXPECT_GT(blankless, 100);
  EXPECT_GT(uncommented, 100);
}

TEST(MusicCatalogueTest, SimilarTracksAreOtherArtistsFallingFromAFullMatch) {
  for (int index : {0, 1, 500, 3000}) {
    const auto similar = catalogue().similarTracks(index);
    ASSERT_GE(similar.size(), 20u);
    ASSERT_LE(similar.size(), 50u);
    EXPECT_DOUBLE_EQ(similar.front().second, 1.0);
    std::set<int> seen;
    const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(index)];
    for (size_t i = 0; i < similar.size(); ++i) {
      EXPECT_TRUE(seen.insert(similar[i].first).second);
      EXPECT_NE(catalogue().tracks()[static_cast<size_t>(similar[i].first)].artist, track.artist);
      EXPECT_GT(similar[i].second, 0.0);
      if (i > 0) {
        EXPECT_LT(similar[i].second, similar[i - 1].second);
      }
    }
    // Mostly the similar artists' tracks.
    const auto& artists = catalogue().artistOf(track).similar;
    int fromSimilar = 0;
    for (const auto& [other, match] : similar) {
      const int artist = catalogue().tracks()[static_cast<size_t>(other)].artist;
      fromSimilar += std::any_of(artists.begin(), artists.end(),
                                 [artist](const auto& pair) { return pair.first == artist; });
    }
    EXPECT_GT(fromSimilar * 2, static_cast<int>(similar.size()));
  }
  EXPECT_TRUE(catalogue().similarTracks(-1).empty());
}

TEST(MusicCatalogueTest, CommentsComeNewestFirst) {
  for (const CatalogueVideo& video : catalogue().videos()) {
    if (video.commentCount < 5) continue;
    const auto comments = catalogue().comments(video.index);
    ASSERT_EQ(comments.size(), static_cast<size_t>(video.commentCount));
    for (size_t i = 1; i < comments.size(); ++i)
      EXPECT_GE(comments[i - 1].published, comments[i].published);
    EXPECT_EQ(comments[0].published.size(), std::string("2013-04-05T06:07:08.000Z").size());
    EXPECT_FALSE(comments[0].author.empty());
    break;
  }
}

TEST(MusicCatalogueTest, FindsArtistsAndTracksExactlyOrIgnoringCase) {
  const CatalogueArtist& artist = catalogue().artists()[10];
  const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(artist.tracks[2])];
  std::string shouted = artist.name;
  for (char& c : shouted)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(catalogue().findArtist(artist.name, false), &artist);
  EXPECT_EQ(catalogue().findArtist("  " + shouted + " ", true), &artist);
  EXPECT_EQ(catalogue().findArtist(shouted, false), nullptr);
  EXPECT_EQ(catalogue().findTrack(artist, track.title, false), &track);
  EXPECT_EQ(catalogue().findArtist("No Such Artist Anywhere", true), nullptr);
  if (!artist.mbid.empty()) {
    EXPECT_EQ(catalogue().findArtistByMbid(artist.mbid), &artist);
  }
}

TEST(MusicCatalogueTest, FoldsNamesAndSplitsWordsAsTheServicesCompare) {
  EXPECT_EQ(MusicCatalogue::foldName("  Sigur   RÓS "), "sigur rós");
  EXPECT_EQ(MusicCatalogue::foldName("ÀÉÎÕÜ×"), "àéîõü×");
  EXPECT_EQ(MusicCatalogue::searchWords("Don't Stop (Live) & Rós"),
            (std::vector<std::string>{"dont", "stop", "live", "rós"}));
  EXPECT_EQ(MusicCatalogue::searchWords("Rain\xE2\x80\x99s song"),
            (std::vector<std::string>{"rains", "song"}));
  EXPECT_TRUE(MusicCatalogue::searchWords(" -- ").empty());
}

TEST(MusicCatalogueTest, LibraryTracksSpreadOverArtistsAndAreKnown) {
  const auto library = catalogue().libraryTracks(400);
  ASSERT_EQ(library.size(), 400u);
  std::set<std::pair<std::string, std::string>> distinct;
  std::set<std::string> artists;
  for (const auto& entry : library) {
    ASSERT_TRUE(entry.artist);
    distinct.insert({*entry.artist, entry.name});
    artists.insert(*entry.artist);
    const CatalogueArtist* artist = catalogue().findArtist(*entry.artist, false);
    ASSERT_NE(artist, nullptr) << *entry.artist;
    EXPECT_NE(catalogue().findTrack(*artist, entry.name, false), nullptr) << entry.name;
  }
  EXPECT_EQ(distinct.size(), 400u);
  EXPECT_EQ(artists.size(), static_cast<size_t>(MusicCatalogue::kArtistCount));
  EXPECT_EQ(catalogue().libraryTracks(1000000).size(), catalogue().tracks().size());
  EXPECT_TRUE(catalogue().libraryTracks(0).empty());
  EXPECT_EQ(catalogue().libraryTracks(30).front().name, library.front().name);
}

}  // namespace
}  // namespace mr
