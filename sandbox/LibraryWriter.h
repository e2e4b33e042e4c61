// Writes iTunes Music Library files ("iTunes Music Library.xml"), for the
// sandbox's demo libraries, tests and benchmarks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"

namespace mr::sandbox {

// Members after the first five were added later: they come last so that
// positional initialisers keep their meaning.
struct LibraryTrack {
  std::string name;
  std::optional<std::string> artist;
  std::string album = "Album";
  int playCount = 0;  // written only when above 0
  std::optional<std::string> dateAdded = "2020-01-02T03:04:05Z";
  std::string genre = "Rock";
  int totalTimeMs = 215000;
};

// The file's text: a header, "Tracks" (IDs from 1000, every other number)
// and a library playlist.
std::string libraryXml(const std::vector<LibraryTrack>& tracks);
Status writeLibraryFile(const std::string& path, const std::vector<LibraryTrack>& tracks);

}  // namespace mr::sandbox
