// The library in effect (the iTunes Music Library file the settings name),
// and the table of the tracks already reported to the service.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/MRUserDefaults.h"
#include "library/MRITunesMusicLibrary.h"

namespace mr {

// Domain "mirelune", code 9000001: "Failed to load music library."
inline constexpr int64_t kMRErrorMusicLibraryLoad = 9000001;
Error musicLibraryLoadError(const std::string& path, const std::string& why);

class MRMusicLibrary {
 public:
  static constexpr uint32_t kSourceTypeITunes = 1;

  // The library of the settings' source type (always the iTunes file).
  static Result<std::shared_ptr<MRMusicLibrary>> defaultMusicLibrary(
      const MRUserDefaults& defaults,
      MRITunesMusicLibrary::Fields fields = MRITunesMusicLibrary::Fields::All);
  static Result<std::shared_ptr<MRMusicLibrary>> iTunesMusicLibrary(
      const std::string& path,
      MRITunesMusicLibrary::Fields fields = MRITunesMusicLibrary::Fields::All);

  uint32_t sourceType() const { return sourceType_; }
  const MRITunesMusicLibrary& source() const { return source_; }

 private:
  uint32_t sourceType_ = 0;
  MRITunesMusicLibrary source_;
};

// The item hashes (title and artist) of the reported tracks.
class MRUserTrackItemHashTable {
 public:
  static constexpr const char* kSettingsKey = MRUserDefaults::kUserTrackItemHashTable;

  MRUserTrackItemHashTable() = default;
  // The stored table, or an empty one.
  static MRUserTrackItemHashTable initWithUserDefaults(const MRUserDefaults& defaults);
  void load(const MRUserDefaults& defaults);

  // The key of a track: the item hash of its title and artist.
  static std::string itemHashOfTrack(const MRITunesMusicLibraryTrack& track);

  bool userHasTrackWithTitle(const std::optional<std::string>& title,
                             const std::optional<std::string>& artist) const;
  bool userHasTrack(const MRITunesMusicLibraryTrack& track) const {
    return userHasItemHash(itemHashOfTrack(track));
  }
  bool userHasItemHash(const std::string& itemHash) const { return table_.count(itemHash) != 0; }
  size_t size() const { return table_.size(); }

 protected:
  std::unordered_set<std::string> table_;
};

class MRMutableUserTrackItemHashTable : public MRUserTrackItemHashTable {
 public:
  void setTrack(const MRITunesMusicLibraryTrack& track) { setItemHash(itemHashOfTrack(track)); }
  void setItemHash(std::string itemHash) { table_.insert(std::move(itemHash)); }
  void reserve(size_t count) { table_.reserve(count); }
  // Replaces the stored table with this one.
  Status save(MRUserDefaults& defaults) const;
};

// A library read once, with the item hash of each track: the user song check
// hands it to its upload, so the file is read, and each title and artist
// hashed, only once for both.
struct MRHashedMusicLibrary {
  std::shared_ptr<const MRMusicLibrary> library;
  std::vector<std::string> itemHashes;  // of allTracks(), in the same order

  static std::shared_ptr<const MRHashedMusicLibrary> make(
      std::shared_ptr<const MRMusicLibrary> library);
  const std::vector<MRITunesMusicLibraryTrack>& tracks() const {
    return library->source().allTracks();
  }
};

}  // namespace mr
