// Reads a property list with our reader and prints the time and peak memory:
//   plist_read FILE [--stream]
// With --stream the members of "Tracks" are handed over one by one instead
// of being kept, as the library reader does.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/PlistReader.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [--stream]\n", argv[0]);
    return 2;
  }
  const bool stream = argc > 2 && std::strcmp(argv[2], "--stream") == 0;
  size_t tracks = 0;
  mr::PlistReadOptions options;
  if (stream) {
    options.streams.push_back({{"Tracks"},
                               [&tracks](std::string, mr::Value) -> mr::Status {
                                 ++tracks;
                                 return {};
                               },
                               {}});
  }
  const auto start = std::chrono::steady_clock::now();
  auto root = mr::PlistReader::readFile(argv[1], options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!root.ok()) {
    std::fprintf(stderr, "%s\n", root.error().toString().c_str());
    return 1;
  }
  if (!stream) tracks = root->get("Tracks") != nullptr ? root->get("Tracks")->size() : 0;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%zu %.3f %ld\n", tracks, seconds, usage.ru_maxrss);
  return 0;
}
