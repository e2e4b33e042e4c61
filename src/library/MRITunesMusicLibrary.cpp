#include "library/MRITunesMusicLibrary.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

namespace mr {

Result<MRITunesMusicLibrary> MRITunesMusicLibrary::initWithContentsOfFile(
    const std::string& path, Fields fields, std::function<void(size_t, size_t)> onProgress) {
  MRITunesMusicLibrary library;
  // Tracks take a kilobyte or more of the file: room for them all at once,
  // rather than moving a hundred thousand of them as the list grows. Room
  // never used costs address space only.
  std::error_code ignored;
  const auto fileSize = std::filesystem::file_size(path, ignored);
  if (!ignored) library.tracks_.reserve(std::min<uintmax_t>(fileSize / 1024, 1'000'000));
  PlistReadOptions options;
  options.onProgress = std::move(onProgress);
  options.streams.push_back({{"Tracks"},
                             [&library](std::string key, Value value) -> Status {
                               library.trackKeys_.push_back(std::move(key));
                               library.tracks_.emplace_back(std::move(value));
                               return {};
                             },
                             {}});
  if (fields == Fields::Identity) {
    options.streams.back().memberKeys = {"Track ID", "Name", "Artist", "Album", "Play Count"};
  }
  options.streams.push_back({{"Playlists"},
                             [&library](std::string, Value value) -> Status {
                               library.playlists_.push_back(std::move(value));
                               return {};
                             },
                             {}});
  auto root = PlistReader::readFile(path, options);
  if (!root.ok()) return root.error();
  if (!root->isDictionary()) {
    return Error(kParseErrorDomain, 4, "the library's root is not a dictionary");
  }
  library.header_ = std::move(*root);
  library.header_.remove("Tracks");
  library.header_.remove("Playlists");
  return library;
}

Result<MRITunesMusicLibrary> MRITunesMusicLibrary::initWithDictionary(const Value& root) {
  if (!root.isDictionary())
    return Error(kParseErrorDomain, 4, "the library's root is not a dictionary");
  MRITunesMusicLibrary library;
  library.header_ = root;
  library.header_.remove("Tracks");
  library.header_.remove("Playlists");
  if (const Dictionary* tracks = root.dictionaryForKey("Tracks")) {
    for (const auto& [key, value] : *tracks) {
      library.trackKeys_.push_back(key);
      library.tracks_.emplace_back(value);
    }
  }
  if (const Array* playlists = root.arrayForKey("Playlists")) library.playlists_ = *playlists;
  return library;
}

std::optional<Date> MRITunesMusicLibrary::date() const {
  const Value* value = header_.get("Date");
  if (value == nullptr) return std::nullopt;
  if (const Date* date = value->asDate()) return *date;
  if (const std::string* text = value->asString()) return parseISO8601(*text);
  return std::nullopt;
}

std::vector<std::string> MRITunesMusicLibrary::allArtists() const {
  std::unordered_set<std::string_view> seen;
  std::vector<std::string> artists;
  for (const auto& track : tracks_) {
    const auto& artist = track.artistName();
    if (artist && seen.insert(*artist).second) artists.push_back(*artist);
  }
  return artists;
}

const MRITunesMusicLibraryTrack* MRITunesMusicLibrary::trackForId(
    const std::string& trackId) const {
  for (size_t i = 0; i < trackKeys_.size(); ++i) {
    if (trackKeys_[i] == trackId) return &tracks_[i];
  }
  return nullptr;
}

std::optional<MRITunesMusicLibraryPlaylist> MRITunesMusicLibrary::playlistAtIndex(
    size_t index) const {
  if (index >= playlists_.size()) return std::nullopt;
  return MRITunesMusicLibraryPlaylist(playlists_[index]);
}

}  // namespace mr
