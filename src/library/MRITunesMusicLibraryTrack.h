// One track of the iTunes Music Library file. Its values are read once, by
// the rules of the value getters (0, false or nothing when absent or of the
// wrong kind), and kept in a compact form: a large library holds a hundred
// thousand of these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Date.h"
#include "base/Value.h"

namespace mr {

class MRITunesMusicLibraryTrack {
 public:
  static constexpr const char* kLibraryType = "iTunes";

  MRITunesMusicLibraryTrack() = default;
  // Its texts are moved out of `dictionary`.
  explicit MRITunesMusicLibraryTrack(Value dictionary);

  uint64_t trackId() const { return trackId_; }
  const std::optional<std::string>& name() const { return name_; }
  const std::optional<std::string>& artist() const { return artist_; }
  const std::optional<std::string>& album() const { return album_; }
  const std::optional<std::string>& genre() const { return genre_; }
  const std::optional<std::string>& kind() const { return kind_; }
  uint64_t size() const { return size_; }
  uint64_t totalTime() const { return totalTime_; }
  uint64_t discNumber() const { return discNumber_; }
  uint64_t discCount() const { return discCount_; }
  uint64_t trackNumber() const { return trackNumber_; }
  uint64_t trackCount() const { return trackCount_; }
  uint64_t year() const { return year_; }
  std::optional<Date> dateModified() const { return dateOrNone(dateModified_); }
  std::optional<Date> dateAdded() const { return dateOrNone(dateAdded_); }
  uint64_t bitRate() const { return bitRate_; }
  uint64_t sampleRate() const { return sampleRate_; }
  uint64_t playCount() const { return playCount_; }
  uint64_t playDate() const { return playDate_; }
  std::optional<Date> playDateUTC() const { return dateOrNone(playDateUTC_); }
  uint64_t skipCount() const { return skipCount_; }
  std::optional<Date> skipDate() const { return dateOrNone(skipDate_); }
  const std::optional<std::string>& persistentId() const { return persistentId_; }
  const std::optional<std::string>& trackType() const { return trackType_; }
  const std::optional<std::string>& location() const { return location_; }
  uint64_t fileFolderCount() const { return fileFolderCount_; }
  uint64_t libraryFolderCount() const { return libraryFolderCount_; }

  // The names the rest of the program uses, whatever the library.
  const std::optional<std::string>& artistName() const { return artist_; }
  const std::optional<std::string>& trackTitle() const { return name_; }
  const std::optional<std::string>& albumTitle() const { return album_; }
  static std::string libraryType() { return kLibraryType; }

  // The 23 facts sent with an upload: numbers as unsigned integers (0 when
  // absent), texts ("" when absent), dates as seconds since 1970 (the
  // integer 0 when absent).
  Value metaData() const;

 private:
  static constexpr double kNoDate = -1e300;
  static std::optional<Date> dateOrNone(double seconds) {
    return seconds == kNoDate ? std::nullopt : std::optional<Date>(Date{seconds});
  }

  std::optional<std::string> name_, artist_, album_, genre_, kind_, persistentId_, trackType_,
      location_;
  uint64_t trackId_ = 0, size_ = 0, totalTime_ = 0, discNumber_ = 0, discCount_ = 0,
           trackNumber_ = 0, trackCount_ = 0, year_ = 0, bitRate_ = 0, sampleRate_ = 0,
           playCount_ = 0, playDate_ = 0, skipCount_ = 0, fileFolderCount_ = 0,
           libraryFolderCount_ = 0;
  double dateModified_ = kNoDate, dateAdded_ = kNoDate, playDateUTC_ = kNoDate, skipDate_ = kNoDate;
};

}  // namespace mr
