#include "ui/MRUiStrings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Localization.h"
#include "base/Log.h"

namespace mr {

std::string MRUiStrings::languageFor(const std::vector<std::string>& preferredLanguages) {
  if (!preferredLanguages.empty() && preferredLanguages.front() == "ja") return "ja";
  return "en";
}

MRUiStrings MRUiStrings::load(const std::string& stringsDir, const std::string& language) {
  MRUiStrings strings;
  strings.language_ = language == "ja" ? "ja" : "en";
  strings.mergeFolder(stringsDir + "/en");
  if (strings.language_ != "en") strings.mergeFolder(stringsDir + "/" + strings.language_);
  return strings;
}

void MRUiStrings::mergeFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->path().extension() == ".json" && it->is_regular_file(error)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    auto text = readFileToString(file.string());
    if (!text.ok()) {
      log::warning("strings: {} was not read: {}", file.string(), text.error().toString());
      continue;
    }
    auto value = parseJson(*text);
    if (!value.ok() || !value->isDictionary()) {
      log::warning("strings: {} is not a JSON object and was skipped", file.string());
      continue;
    }
    for (const auto& [key, entry] : *value->asDictionary()) merged_.set(key, entry);
  }
}

std::string MRUiStrings::json() const { return toJson(Value(merged_)); }

std::map<std::string, std::string> MRUiStrings::texts() const {
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : merged_) {
    if (const std::string* text = value.asString()) out[key] = *text;
  }
  return out;
}

void MRUiStrings::registerTexts() const { registerLocalizedStrings(texts()); }

}  // namespace mr
