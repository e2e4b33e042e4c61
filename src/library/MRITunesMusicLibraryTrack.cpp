#include "library/MRITunesMusicLibraryTrack.h"

namespace mr {
namespace {

// The value getters' rules, applied to a value already in hand.
uint64_t unsignedOf(const Value& value) {
  if (const int64_t* integer = value.asInteger()) return static_cast<uint64_t>(*integer);
  if (const std::string* text = value.asString())
    return static_cast<uint64_t>(stringIntegerValue(*text));
  if (const bool* flag = value.asBool()) return *flag ? 1 : 0;
  if (const double* real = value.asReal()) return *real <= 0 ? 0 : static_cast<uint64_t>(*real);
  return 0;
}

std::optional<std::string> textOf(Value& value) {
  if (std::string* text = value.asString()) return std::move(*text);
  return std::nullopt;
}

double dateOf(const Value& value, double none) {
  if (const Date* date = value.asDate()) return date->secondsSince1970;
  if (const std::string* text = value.asString()) {
    if (auto parsed = parseISO8601(*text)) return parsed->secondsSince1970;
  }
  return none;
}

}  // namespace

MRITunesMusicLibraryTrack::MRITunesMusicLibraryTrack(Value dictionary) {
  // One pass over the entries, each taken by its key's length first: a
  // track has a few dozen entries, and a library a hundred thousand tracks.
  Dictionary* entries = dictionary.asDictionary();
  if (entries == nullptr) return;
  for (auto& [key, value] : *entries) {
    const std::string_view k = key;
    switch (k.size()) {
      case 4:
        if (k == "Name")
          name_ = textOf(value);
        else if (k == "Kind")
          kind_ = textOf(value);
        else if (k == "Size")
          size_ = unsignedOf(value);
        else if (k == "Year")
          year_ = unsignedOf(value);
        break;
      case 5:
        if (k == "Album")
          album_ = textOf(value);
        else if (k == "Genre")
          genre_ = textOf(value);
        break;
      case 6:
        if (k == "Artist") artist_ = textOf(value);
        break;
      case 8:
        if (k == "Track ID")
          trackId_ = unsignedOf(value);
        else if (k == "Bit Rate")
          bitRate_ = unsignedOf(value);
        else if (k == "Location")
          location_ = textOf(value);
        break;
      case 9:
        if (k == "Play Date")
          playDate_ = unsignedOf(value);
        else if (k == "Skip Date")
          skipDate_ = dateOf(value, kNoDate);
        break;
      case 10:
        if (k == "Total Time")
          totalTime_ = unsignedOf(value);
        else if (k == "Disc Count")
          discCount_ = unsignedOf(value);
        else if (k == "Date Added")
          dateAdded_ = dateOf(value, kNoDate);
        else if (k == "Play Count")
          playCount_ = unsignedOf(value);
        else if (k == "Skip Count")
          skipCount_ = unsignedOf(value);
        else if (k == "Track Type")
          trackType_ = textOf(value);
        break;
      case 11:
        if (k == "Disc Number")
          discNumber_ = unsignedOf(value);
        else if (k == "Track Count")
          trackCount_ = unsignedOf(value);
        else if (k == "Sample Rate")
          sampleRate_ = unsignedOf(value);
        break;
      case 12:
        if (k == "Track Number") trackNumber_ = unsignedOf(value);
        break;
      case 13:
        if (k == "Date Modified")
          dateModified_ = dateOf(value, kNoDate);
        else if (k == "Play Date UTC")
          playDateUTC_ = dateOf(value, kNoDate);
        else if (k == "Persistent ID")
          persistentId_ = textOf(value);
        break;
      case 17:
        if (k == "File Folder Count") fileFolderCount_ = unsignedOf(value);
        break;
      case 20:
        if (k == "Library Folder Count") libraryFolderCount_ = unsignedOf(value);
        break;
      default:
        break;
    }
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
