// An artist's biography in several languages: the dictionary maps a language
// code ("ja", "en", ...) to {"bioContent": text, "bioSummary": text}.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/MRDocument.h"

namespace mr {

class MRArtistBiographyDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  // The entry for the language; nullopt when absent or not a dictionary.
  std::optional<Value> getBioForLang(std::string_view lang) const;

  // The entry's text ("" when the entry lacks it); nullopt when the language
  // has no entry.
  std::optional<std::string> bioContentForLang(std::string_view lang) const;
  std::optional<std::string> bioSummaryForLang(std::string_view lang) const;

  // The text for the user's language; when that language has no entry at
  // all, the Japanese one, the service's home language. An entry with an
  // empty text is kept, not replaced by the Japanese one.
  std::optional<std::string> bioContentForCurrentLang(const std::string& currentLanguage) const;
  std::optional<std::string> bioSummaryForCurrentLang(const std::string& currentLanguage) const;

 private:
  std::optional<std::string> textForLang(std::string_view lang, std::string_view key) const;
  std::optional<std::string> textForCurrentLang(const std::string& currentLanguage,
                                                std::string_view key) const;
};

}  // namespace mr
