#include "base/MRUserDefaults.h"

namespace mr {

bool MRUserDefaults::boolDefaultingToTrue(const char* key) const {
  if (!settings_.hasKey(key)) return true;
  return settings_.boolForKey(key);
}

bool MRUserDefaults::isUserAgreedTOU() const {
  return settings_.boolForKey(kUserAgreedTOU);
}
Status MRUserDefaults::setUserAgreedTOU(bool agreed) {
  return settings_.setBool(kUserAgreedTOU, agreed);
}

Date MRUserDefaults::lastTodaysArtistsShownDate() const {
  const auto value = settings_.objectForKey(kLastTodaysArtistsShownDate);
  if (value && value->isDate()) return *value->asDate();
  return Date{0};
}

Status MRUserDefaults::setLastTodaysArtistsShownDate(Date date) {
  return settings_.setObject(kLastTodaysArtistsShownDate, Value(date));
}

std::optional<std::vector<std::string>> MRUserDefaults::itemHashesOfLastTodaysArtistsShown() const {
  const auto value = settings_.objectForKey(kItemHashesOfLastTodaysArtistsShown);
  if (!value || !value->isArray()) return std::nullopt;
  std::vector<std::string> hashes;
  for (const auto& member : *value->asArray()) {
    if (const std::string* text = member.asString()) hashes.push_back(*text);
  }
  return hashes;
}

Status MRUserDefaults::setItemHashesOfLastTodaysArtistsShown(
    const std::vector<std::string>& itemHashes) {
  Array members(itemHashes.begin(), itemHashes.end());
  return settings_.setObject(kItemHashesOfLastTodaysArtistsShown, Value(std::move(members)));
}

bool MRUserDefaults::shareOnFacebook() const {
  return boolDefaultingToTrue(kShareOnFacebook);
}
Status MRUserDefaults::setShareOnFacebook(bool share) {
  return settings_.setBool(kShareOnFacebook, share);
}
bool MRUserDefaults::shareOnTwitter() const {
  return boolDefaultingToTrue(kShareOnTwitter);
}
Status MRUserDefaults::setShareOnTwitter(bool share) {
  return settings_.setBool(kShareOnTwitter, share);
}
bool MRUserDefaults::autoSharingOnFavorite() const {
  return boolDefaultingToTrue(kAutoSharingOnFavorite);
}
Status MRUserDefaults::setAutoSharingOnFavorite(bool share) {
  return settings_.setBool(kAutoSharingOnFavorite, share);
}

int64_t MRUserDefaults::numberOfUserSongs() const {
  return settings_.integerForKey(kNumOfUserSongs);
}
void MRUserDefaults::setNumberOfUserSongs(int64_t count) {
  (void)settings_.setInteger(kNumOfUserSongs, count);
}

int64_t MRUserDefaults::musicLibrarySourceType() const {
  (void)settings_.integerForKey(kMusicLibrarySourceType);
  return 1;
}

Status MRUserDefaults::setMusicLibrarySourceType(int64_t type) {
  return settings_.setInteger(kMusicLibrarySourceType, type);
}

std::string MRUserDefaults::defaultITunesMusicLibraryFilePath() const {
  return home_ + "/Music/iTunes/iTunes Music Library.xml";
}

std::string MRUserDefaults::iTunesMusicLibraryFilePath() const {
  const auto value = settings_.objectForKey(kITunesMusicLibraryFilePath);
  if (value && value->isString()) return *value->asString();
  return defaultITunesMusicLibraryFilePath();
}

Status MRUserDefaults::setITunesMusicLibraryFilePath(const std::optional<std::string>& path) {
  if (path) return settings_.setObject(kITunesMusicLibraryFilePath, Value(*path));
  return settings_.removeObjectForKey(kITunesMusicLibraryFilePath);
}

Dictionary MRUserDefaults::userTrackItemHashTable() const {
  const auto value = settings_.objectForKey(kUserTrackItemHashTable);
  if (value && value->isDictionary()) return *value->asDictionary();
  return {};
}

Status MRUserDefaults::setUserTrackItemHashTable(const std::optional<Dictionary>& table) {
  if (table) return settings_.setObject(kUserTrackItemHashTable, Value(*table));
  return settings_.removeObjectForKey(kUserTrackItemHashTable);
}

int64_t MRInstructionSwitch::readUserDefault() const {
  return settings_.integerForKey(kInstructionSwitches);
}

Status MRInstructionSwitch::writeUserDefault(int64_t word) {
  return settings_.setInteger(kInstructionSwitches, word);
}

Status MRInstructionSwitch::setSwitch(bool on, uint32_t flag) {
  const int64_t word = readUserDefault();
  return writeUserDefault(on ? (word & ~static_cast<int64_t>(flag)) : (word | flag));
}

bool MRInstructionSwitch::isOn(uint32_t flag) const {
  return (readUserDefault() & flag) == 0;
}
bool MRInstructionSwitch::allSwitchIsOn() const {
  return readUserDefault() == 0;
}
Status MRInstructionSwitch::resetAllSwitches() {
  return writeUserDefault(0);
}
Status MRInstructionSwitch::turnOffAllSwitches() {
  return writeUserDefault(4294967295LL);
}

}  // namespace mr
