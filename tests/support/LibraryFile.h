// Writes iTunes Music Library files for tests and benchmarks.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mr::test {

struct LibraryTrack {
  std::string name;
  std::optional<std::string> artist;
  std::string album = "Album";
  int playCount = 0;
  std::optional<std::string> dateAdded = "2020-01-02T03:04:05Z";
};

// The file's text: a header, "Tracks" and a library playlist.
std::string libraryXml(const std::vector<LibraryTrack>& tracks);
// `count` made-up tracks ("Song 17" by "Artist 3" ...), deterministic.
std::vector<LibraryTrack> generatedTracks(int count, int artists = 50);
void writeLibrary(const std::string& path, const std::vector<LibraryTrack>& tracks);

}  // namespace mr::test
