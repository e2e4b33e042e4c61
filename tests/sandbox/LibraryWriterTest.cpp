#include "sandbox/LibraryWriter.h"

#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/PlistReader.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::LibraryTrack;
using test::SandboxFixture;

TEST(LibraryWriterTest, WritesAPropertyListOfTheTracksInOrder) {
  std::vector<LibraryTrack> tracks(2);
  tracks[0].name = "Rock & Roll <Live>";
  tracks[0].artist = "Sigur Rós";
  tracks[0].playCount = 7;
  tracks[0].genre = "Alternative";
  tracks[0].totalTimeMs = 181000;
  tracks[1].name = "Untitled";
  tracks[1].dateAdded.reset();
  auto library = PlistReader::readString(sandbox::libraryXml(tracks));
  ASSERT_TRUE(library.ok()) << library.error().toString();
  const Dictionary* entries = library->dictionaryForKey("Tracks");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 2u);
  const Value& first = *entries->find("1000");
  EXPECT_EQ(first.stringForKey("Name", ""), "Rock & Roll <Live>");
  EXPECT_EQ(first.stringForKey("Artist", ""), "Sigur Rós");
  EXPECT_EQ(first.integerForKey("Play Count", 0), 7);
  EXPECT_EQ(first.stringForKey("Genre", ""), "Alternative");
  EXPECT_EQ(first.integerForKey("Total Time", 0), 181000);
  EXPECT_TRUE(first.contains("Date Added"));
  const Value& second = *entries->find("1002");
  EXPECT_FALSE(second.contains("Artist"));
  EXPECT_FALSE(second.contains("Play Count"));
  EXPECT_FALSE(second.contains("Date Added"));
  EXPECT_EQ(second.stringForKey("Genre", ""), "Rock");
  EXPECT_EQ(library->arrayForKey("Playlists")->size(), 1u);
}

TEST_F(SandboxFixture, WritesALibraryOfTracksTheServicesKnow) {
  const std::string path = dir.file("library.xml");
  ASSERT_TRUE(server->writeLibrary(path, 120).ok());
  auto library = PlistReader::readFile(path);
  ASSERT_TRUE(library.ok()) << library.error().toString();
  const Dictionary* entries = library->dictionaryForKey("Tracks");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 120u);
  for (const auto& [id, entry] : *entries) {
    const auto* artist = server->catalogue().findArtist(entry.stringForKey("Artist", ""), false);
    ASSERT_NE(artist, nullptr);
    EXPECT_NE(server->catalogue().findTrack(*artist, entry.stringForKey("Name", ""), false),
              nullptr);
  }
  EXPECT_FALSE(server->writeLibrary(dir.file("no/such/folder/library.xml"), 3).ok());
}

}  // namespace
}  // namespace mr
