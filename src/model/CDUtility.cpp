#include "model/CDUtility.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "base/StringAdditions.h"

namespace mr {

std::string CDUtility::lowercase(std::string_view text) {
  bool ascii = true;
  for (char c : text)
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  // Full case mapping in the root locale: İ becomes i + combining dot, ẞ
  // becomes ß, and a word-final Σ becomes ς.
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  unicode.toLower(icu::Locale::getRoot());
  std::string lowered;
  unicode.toUTF8String(lowered);
  return lowered;
}

std::string CDUtility::normalize(std::string_view text) {
  std::string out = lowercase(text);
  std::erase(out, ' ');
  return out;
}

std::string CDUtility::itemHashWithTitle(std::string_view title, std::string_view artist) {
  return MD5DigestString(normalize(title) + normalize(artist));
}

std::string CDUtility::itemHashWithTitle(std::string_view title, std::string_view album,
                                         std::string_view artist) {
  return MD5DigestString(normalize(title) + normalize(artist) + normalize(album));
}

std::string CDUtility::artistItemHashWithArtist(std::string_view artist) {
  return MD5DigestString(normalize(artist));
}

}  // namespace mr
