#include "support/LibraryFile.h"

#include <gtest/gtest.h>

namespace mr::test {

std::vector<LibraryTrack> generatedTracks(int count, int artists) {
  std::vector<LibraryTrack> tracks;
  tracks.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    LibraryTrack track;
    track.name = "Song " + std::to_string(i);
    track.artist = "Artist " + std::to_string(i % artists);
    track.album = "Album " + std::to_string(i / 12);
    track.playCount = (i * 7) % 50;
    tracks.push_back(track);
  }
  return tracks;
}

void writeLibrary(const std::string& path, const std::vector<LibraryTrack>& tracks) {
  const Status written = sandbox::writeLibraryFile(path, tracks);
  EXPECT_TRUE(written.ok()) << written.error().toString();
}

}  // namespace mr::test
