// The made-up world behind Last.fm, the store and the video site: the same
// for the same seed, so runs can be repeated, and written out as a music
// library whose tracks the services know.
#include "sandbox/MusicCatalogue.h"

#include "base/PlistReader.h"
#include "sandbox/LibraryWriter.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::MusicCatalogue;
using LibraryWriterTest = test::SandboxFixture;

// Everything the services answer from, as one text.
std::string fingerprint(const MusicCatalogue& catalogue) {
  std::string all;
  for (const auto& artist : catalogue.artists())
    all += artist.name + "/" + std::to_string(artist.similar.front().first) + "|";
  for (const auto& track : catalogue.tracks())
    all += track.title + "|";
  for (const auto& video : catalogue.videos())
    all += video.id + "|";
  for (const auto& [track, match] : catalogue.similarTracks(42))
    all += std::to_string(track) + "|";
  return all;
}

TEST(MusicCatalogueTest, TheSameSeedMakesTheSameCatalogueAndAnotherSeedAnother) {
  const std::string first = fingerprint(MusicCatalogue());
  EXPECT_EQ(fingerprint(MusicCatalogue(MusicCatalogue::kDefaultSeed)), first);
  EXPECT_NE(fingerprint(MusicCatalogue(7)), first);
}

TEST_F(LibraryWriterTest, WritesALibraryOfTracksTheServicesKnow) {
  const std::string path = dir.file("library.xml");
  ASSERT_TRUE(server->writeLibrary(path, 120).ok());
  auto library = PlistReader::readFile(path);
  ASSERT_TRUE(library.ok()) << library.error().toString();
  const Dictionary* entries = library->dictionaryForKey("Tracks");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 120u);
  for (const auto& [id, entry] : *entries) {
    const std::string artistName = entry.stringForKey("Artist", "");
    const std::string name = entry.stringForKey("Name", "");
    const auto* artist = server->catalogue().findArtist(artistName, false);
    ASSERT_NE(artist, nullptr) << artistName;
    EXPECT_NE(server->catalogue().findTrack(*artist, name, false), nullptr) << name;
  }
  EXPECT_FALSE(server->writeLibrary(dir.file("no/such/folder/library.xml"), 3).ok());

  // Text that markup would take for its own is written as text.
  sandbox::LibraryTrack odd;
  odd.name = "Rock & Roll <Live>";
  odd.artist = "Sigur Rós";
  auto written = PlistReader::readString(sandbox::libraryXml({odd}));
  ASSERT_TRUE(written.ok()) << written.error().toString();
  const Value& only = *written->dictionaryForKey("Tracks")->find("1000");
  EXPECT_EQ(only.stringForKey("Name", ""), odd.name);
  EXPECT_EQ(only.stringForKey("Artist", ""), "Sigur Rós");
}

}  // namespace
}  // namespace mr
