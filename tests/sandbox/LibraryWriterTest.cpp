#include "sandbox/LibraryWriter.h"

#include <gtest/gtest.h>

#include "base/PlistReader.h"

namespace mr {
namespace {

using sandbox::LibraryTrack;

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

}  // namespace
}  // namespace mr
