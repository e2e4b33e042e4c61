// The iTunes Music Library file: its header, its tracks and its playlists.
// The file is read in one streaming pass: each track becomes a compact
// record as soon as it is read, so a large library needs little memory.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/PlistReader.h"
#include "library/MRITunesMusicLibraryTrack.h"

namespace mr {

// A playlist of the library; nothing in the program reads playlists beyond this.
class MRITunesMusicLibraryPlaylist {
 public:
  explicit MRITunesMusicLibraryPlaylist(Value dictionary) : dict_(std::move(dictionary)) {}
  std::optional<std::string> name() const { return dict_.stringForKey("Name"); }
  bool master() const { return dict_.boolForKey("Master", false); }
  bool visible() const { return dict_.boolForKey("Visible", false); }
  bool allItems() const { return dict_.boolForKey("All Items", false); }
  uint64_t distinguishedKind() const {
    return dict_.unsignedIntegerForKey("Distinguished Kind", 0);
  }
  const Array* playlistItems() const { return dict_.arrayForKey("Playlist Items"); }
  const Value& dict() const { return dict_; }

 private:
  Value dict_;
};

class MRITunesMusicLibrary {
 public:
  // What of each track is read: everything (for the upload's facts), or
  // just what identifies it and its play count, which is much quicker.
  enum class Fields { All, Identity };

  // An error when the file is missing or unreadable, is not a property list,
  // or its root is not a dictionary. `onProgress` hears of the bytes read.
  static Result<MRITunesMusicLibrary> initWithContentsOfFile(
      const std::string& path, Fields fields = Fields::All,
      std::function<void(size_t, size_t)> onProgress = {});
  // From a root dictionary already in memory.
  static Result<MRITunesMusicLibrary> initWithDictionary(const Value& root);

  uint64_t majorVersion() const { return header_.unsignedIntegerForKey("Major Version", 0); }
  uint64_t minorVersion() const { return header_.unsignedIntegerForKey("Minor Version", 0); }
  std::optional<Date> date() const;
  std::optional<std::string> applicationVersion() const {
    return header_.stringForKey("Application Version");
  }
  uint64_t features() const { return header_.unsignedIntegerForKey("Features", 0); }
  bool showContentRatings() const { return header_.boolForKey("Show Content Ratings", false); }
  std::optional<std::string> musicFolder() const { return header_.stringForKey("Music Folder"); }
  std::optional<std::string> libraryPersistentId() const {
    return header_.stringForKey("Library Persistent ID");
  }

  // Every track, in the file's order.
  const std::vector<MRITunesMusicLibraryTrack>& allTracks() const { return tracks_; }
  // The distinct artist names of the tracks that have one ("" counts).
  std::vector<std::string> allArtists() const;
  // No flow looks tracks up by id, so this is a plain search.
  const MRITunesMusicLibraryTrack* trackForId(const std::string& trackId) const;
  std::optional<MRITunesMusicLibraryPlaylist> playlistAtIndex(size_t index) const;
  size_t playlistCount() const { return playlists_.size(); }

 private:
  Value header_;  // the root without its tracks and playlists
  std::vector<MRITunesMusicLibraryTrack> tracks_;
  std::vector<std::string> trackKeys_;  // the "Tracks" key of each track
  Array playlists_;
};

}  // namespace mr
