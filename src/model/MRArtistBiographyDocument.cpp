#include "model/MRArtistBiographyDocument.h"

namespace mr {

namespace {
constexpr std::string_view kFallbackLanguage = "ja";
}  // namespace

std::optional<Value> MRArtistBiographyDocument::getBioForLang(std::string_view lang) const {
  const Value* bio = document_.get(lang);
  if (bio == nullptr || !bio->isDictionary()) return std::nullopt;
  return *bio;
}

std::optional<std::string> MRArtistBiographyDocument::textForLang(std::string_view lang,
                                                                  std::string_view key) const {
  const Value* bio = document_.get(lang);
  if (bio == nullptr || !bio->isDictionary()) return std::nullopt;
  return bio->stringForKey(key, "");
}

std::optional<std::string> MRArtistBiographyDocument::textForCurrentLang(
    const std::string& currentLanguage, std::string_view key) const {
  if (auto text = textForLang(currentLanguage, key)) return text;
  return textForLang(kFallbackLanguage, key);
}

std::optional<std::string> MRArtistBiographyDocument::bioContentForLang(
    std::string_view lang) const {
  return textForLang(lang, "bioContent");
}

std::optional<std::string> MRArtistBiographyDocument::bioSummaryForLang(
    std::string_view lang) const {
  return textForLang(lang, "bioSummary");
}

std::optional<std::string> MRArtistBiographyDocument::bioContentForCurrentLang(
    const std::string& currentLanguage) const {
  return textForCurrentLang(currentLanguage, "bioContent");
}

std::optional<std::string> MRArtistBiographyDocument::bioSummaryForCurrentLang(
    const std::string& currentLanguage) const {
  return textForCurrentLang(currentLanguage, "bioSummary");
}

}  // namespace mr
