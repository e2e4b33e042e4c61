// The pages' texts: the JSON objects of web/strings/<language>/*.json merged
// into one, English filling the keys a language lacks. The server hands them
// to the page as /strings.json; native code reads the same texts through
// localizedString() once they are registered.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/Value.h"

namespace mr {

class MRUiStrings {
 public:
  // "ja" when the listener's first language is Japanese, else "en".
  static std::string languageFor(const std::vector<std::string>& preferredLanguages);

  // Reads `stringsDir`/en/*.json and, for another `language`, its own
  // folder over them (files in name order, later keys winning). A missing
  // folder yields no texts; a file that is not a JSON object is skipped
  // with a warning, so one broken file never hides the others.
  static MRUiStrings load(const std::string& stringsDir, const std::string& language);

  const std::string& language() const { return language_; }
  // The merged object, as served.
  std::string json() const;
  // The texts that are strings, for registerLocalizedStrings().
  std::map<std::string, std::string> texts() const;
  // Registers texts() with the program's string table.
  void registerTexts() const;

 private:
  void mergeFolder(const std::string& folder);

  std::string language_ = "en";
  Dictionary merged_;
};

}  // namespace mr
