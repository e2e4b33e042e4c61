#include "library/MRMusicLibrary.h"

#include "base/Localization.h"
#include "model/CDUtility.h"

namespace mr {

Error musicLibraryLoadError(const std::string& path, const std::string& why) {
  return Error(kMireluneErrorDomain, kMRErrorMusicLibraryLoad,
               localizedString("Failed to load music library.", "Failed to load music library."),
               path.empty() || why.find(path) != std::string::npos ? why : path + ": " + why);
}

Result<std::shared_ptr<MRMusicLibrary>> MRMusicLibrary::defaultMusicLibrary(
    const MRUserDefaults& defaults, MRITunesMusicLibrary::Fields fields) {
  if (defaults.musicLibrarySourceType() != kSourceTypeITunes) {
    return musicLibraryLoadError("", "no library of this kind");
  }
  return iTunesMusicLibrary(defaults.iTunesMusicLibraryFilePath(), fields);
}

Result<std::shared_ptr<MRMusicLibrary>> MRMusicLibrary::iTunesMusicLibrary(
    const std::string& path, MRITunesMusicLibrary::Fields fields) {
  auto source = MRITunesMusicLibrary::initWithContentsOfFile(path, fields);
  if (!source.ok()) return musicLibraryLoadError(path, source.error().description());
  auto library = std::make_shared<MRMusicLibrary>();
  library->source_ = std::move(*source);
  library->sourceType_ = kSourceTypeITunes;
  return library;
}

namespace {
std::string hashOf(const std::optional<std::string>& title,
                   const std::optional<std::string>& artist) {
  return CDUtility::itemHashWithTitle(title.value_or(""), artist.value_or(""));
}
}  // namespace

std::string MRUserTrackItemHashTable::itemHashOfTrack(const MRITunesMusicLibraryTrack& track) {
  return hashOf(track.trackTitle(), track.artistName());
}

MRUserTrackItemHashTable MRUserTrackItemHashTable::initWithUserDefaults(
    const MRUserDefaults& defaults) {
  MRUserTrackItemHashTable table;
  table.load(defaults);
  return table;
}

void MRUserTrackItemHashTable::load(const MRUserDefaults& defaults) {
  table_.clear();
  const Dictionary stored = defaults.userTrackItemHashTable();
  table_.reserve(stored.size());
  for (const auto& [hash, flag] : stored)
    table_.insert(hash);
}

bool MRUserTrackItemHashTable::userHasTrackWithTitle(
    const std::optional<std::string>& title, const std::optional<std::string>& artist) const {
  return userHasItemHash(hashOf(title, artist));
}

Status MRMutableUserTrackItemHashTable::save(MRUserDefaults& defaults) const {
  std::vector<Dictionary::Entry> entries;
  entries.reserve(table_.size());
  for (const auto& hash : table_)
    entries.emplace_back(hash, Value(1));
  return defaults.setUserTrackItemHashTable(Dictionary::fromUniqueEntries(std::move(entries)));
}

std::shared_ptr<const MRHashedMusicLibrary> MRHashedMusicLibrary::make(
    std::shared_ptr<const MRMusicLibrary> library) {
  auto hashed = std::make_shared<MRHashedMusicLibrary>();
  hashed->library = std::move(library);
  const auto& tracks = hashed->tracks();
  hashed->itemHashes.reserve(tracks.size());
  for (const auto& track : tracks)
    hashed->itemHashes.push_back(MRUserTrackItemHashTable::itemHashOfTrack(track));
  return hashed;
}

}  // namespace mr
