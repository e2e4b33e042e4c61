#include "library/MRMusicLibrary.h"

#include "base/Localization.h"
#include "model/CDUtility.h"

namespace mr {

Error musicLibraryLoadError(const std::string& path, const std::string& why) {
  return Error(kMireluneErrorDomain, kMRErrorMusicLibraryLoad,
               localizedString("Failed to load music library.", "Failed to load music library."),
               path + ": " + why);
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
  return table_.count(hashOf(title, artist)) != 0;
}

void MRMutableUserTrackItemHashTable::setTrack(const MRITunesMusicLibraryTrack& track) {
  table_.insert(hashOf(track.trackTitle(), track.artistName()));
}

Status MRMutableUserTrackItemHashTable::save(MRUserDefaults& defaults) const {
  std::vector<Dictionary::Entry> entries;
  entries.reserve(table_.size());
  for (const auto& hash : table_)
    entries.emplace_back(hash, Value(1));
  return defaults.setUserTrackItemHashTable(Dictionary::fromUniqueEntries(std::move(entries)));
}

}  // namespace mr
