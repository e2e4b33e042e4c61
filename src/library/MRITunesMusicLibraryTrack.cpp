#include "library/MRITunesMusicLibraryTrack.h"

namespace mr {
namespace {

// A date entry as it is, or a text in the property list's own notation.
double dateSeconds(const Value& dictionary, std::string_view key, double none) {
  const Value* value = dictionary.get(key);
  if (value == nullptr) return none;
  if (const Date* date = value->asDate()) return date->secondsSince1970;
  if (const std::string* text = value->asString()) {
    if (auto parsed = parseISO8601(*text)) return parsed->secondsSince1970;
  }
  return none;
}

}  // namespace

MRITunesMusicLibraryTrack::MRITunesMusicLibraryTrack(const Value& dictionary) {
  // One pass over the entries: a track has a few dozen, and there are many tracks.
  const Dictionary* entries = dictionary.asDictionary();
  if (entries == nullptr) return;
  const auto number = [&dictionary](std::string_view key) {
    return dictionary.unsignedIntegerForKey(key, 0);
  };
  for (const auto& [key, value] : *entries) {
    const std::string_view k = key;
    if (k == "Track ID")
      trackId_ = number(k);
    else if (k == "Name")
      name_ = dictionary.stringForKey(k);
    else if (k == "Artist")
      artist_ = dictionary.stringForKey(k);
    else if (k == "Album")
      album_ = dictionary.stringForKey(k);
    else if (k == "Genre")
      genre_ = dictionary.stringForKey(k);
    else if (k == "Kind")
      kind_ = dictionary.stringForKey(k);
    else if (k == "Size")
      size_ = number(k);
    else if (k == "Total Time")
      totalTime_ = number(k);
    else if (k == "Disc Number")
      discNumber_ = number(k);
    else if (k == "Disc Count")
      discCount_ = number(k);
    else if (k == "Track Number")
      trackNumber_ = number(k);
    else if (k == "Track Count")
      trackCount_ = number(k);
    else if (k == "Year")
      year_ = number(k);
    else if (k == "Date Modified")
      dateModified_ = dateSeconds(dictionary, k, kNoDate);
    else if (k == "Date Added")
      dateAdded_ = dateSeconds(dictionary, k, kNoDate);
    else if (k == "Bit Rate")
      bitRate_ = number(k);
    else if (k == "Sample Rate")
      sampleRate_ = number(k);
    else if (k == "Play Count")
      playCount_ = number(k);
    else if (k == "Play Date")
      playDate_ = number(k);
    else if (k == "Play Date UTC")
      playDateUTC_ = dateSeconds(dictionary, k, kNoDate);
    else if (k == "Skip Count")
      skipCount_ = number(k);
    else if (k == "Skip Date")
      skipDate_ = dateSeconds(dictionary, k, kNoDate);
    else if (k == "Persistent ID")
      persistentId_ = dictionary.stringForKey(k);
    else if (k == "Track Type")
      trackType_ = dictionary.stringForKey(k);
    else if (k == "Location")
      location_ = dictionary.stringForKey(k);
    else if (k == "File Folder Count")
      fileFolderCount_ = number(k);
    else if (k == "Library Folder Count")
      libraryFolderCount_ = number(k);
  }
}

Value MRITunesMusicLibraryTrack::metaData() const {
  Dictionary data;
  data.reserve(23);
  const auto number = [&data](const char* key, uint64_t value) { data.set(key, Value(value)); };
  const auto text = [&data](const char* key, const std::optional<std::string>& value) {
    data.set(key, Value(value.value_or("")));
  };
  const auto date = [&data](const char* key, const std::optional<Date>& value) {
    data.set(key, value ? Value(value->secondsSince1970) : Value(0));
  };
  number("trackId", trackId_);
  text("name", name_);
  text("artist", artist_);
  text("album", album_);
  text("genre", genre_);
  text("kind", kind_);
  number("size", size_);
  number("totalTime", totalTime_);
  number("discNumber", discNumber_);
  number("discCount", discCount_);
  number("trackNumber", trackNumber_);
  number("trackCount", trackCount_);
  number("year", year_);
  date("dateModified", dateModified());
  date("dateAdded", dateAdded());
  number("bitRate", bitRate_);
  number("sampleRate", sampleRate_);
  number("playCount", playCount_);
  number("playDate", playDate_);
  number("skipCount", skipCount_);
  date("skipDate", skipDate());
  text("persistentId", persistentId_);
  text("trackType", trackType_);
  return Value(std::move(data));
}

}  // namespace mr
