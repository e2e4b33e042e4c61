// Writes iTunes Music Library files for tests and benchmarks, with the
// sandbox's writer.
#pragma once

#include <string>
#include <vector>

#include "sandbox/LibraryWriter.h"

namespace mr::test {

using LibraryTrack = sandbox::LibraryTrack;
using sandbox::libraryXml;

// `count` made-up tracks ("Song 17" by "Artist 3" ...), deterministic.
std::vector<LibraryTrack> generatedTracks(int count, int artists = 50);
// Fails the running test when the file cannot be written.
void writeLibrary(const std::string& path, const std::vector<LibraryTrack>& tracks);

}  // namespace mr::test
