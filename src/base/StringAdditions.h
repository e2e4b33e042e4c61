// String and data conversions used across the program: Base64 (standard
// and URL-safe), hex, MD5, query strings, relative ages and distances, and
// case-insensitive regular-expression replacement.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/Clock.h"
#include "base/Value.h"

namespace mr {

// Standard Base64 with "=" padding; empty in, empty out.
std::string base64StringFromData(const Bytes& data);
// "-" and "_" in place of "+" and "/", and no padding.
std::string urlSafeBase64StringFromData(const Bytes& data);
// Forgiving URL-safe decoding: characters outside the alphabet are skipped
// and the first "=" ends the data.
Bytes decodeUrlSafeBase64StringToData(std::string_view text);
// Strict standard Base64 (white space allowed between groups); nullopt on
// any other character or a broken group.
std::optional<Bytes> decodeBase64(std::string_view text);

// Two lower-case hex digits per byte.
std::string hexStringFromData(const Bytes& data);
// Each pair of characters as one byte; an odd last character is ignored; a
// pair that is not hex gives the value of its leading hex digits (0 if none).
Bytes dataFromHexString(std::string_view text);

// MD5 of the bytes as 32 lower-case hex digits.
std::string MD5DigestString(std::string_view bytes);
inline std::string MD5DigestString(const Bytes& data) {
  return MD5DigestString(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

// HMAC-SHA1 (RFC 2104) of `data` under `key`: 20 bytes.
Bytes hmacSha1(std::string_view key, std::string_view data);

// Decodes %XX escapes as UTF-8; nullopt for a broken escape or invalid UTF-8.
// A "+" stays a plus sign.
std::optional<std::string> percentDecode(std::string_view text);
// Splits on "&amp;" (the escaped ampersand of the pages that use it), then
// on "="; keys and values percent-decoded. Pieces without "=" are skipped.
std::map<std::string, std::string> parseQueryString(std::string_view query);

// "999m" below one kilometre, "1.0km" from there on.
std::string stringWithDistance(double metres);
// Relative age of `date` at `now`: "45s", "2m", "3h", "5d" (thresholds are
// strict, and rounding is to the nearest integer).
std::string stringWithDateTimeUntilNow(Date date, Date now);
std::string stringWithDateTimeUntilNow(Date date, const Clock& clock);
// The same with the localised formats.
std::string stringWithDateTimeUntilNowInLocal(Date date, Date now);

// Every match of `pattern`, ignoring case, replaced by `replacement` ("$1"
// back-references). An invalid pattern leaves the text unchanged.
std::string stringByReplacingOccurrencesOfRegex(std::string_view text, std::string_view pattern,
                                                std::string_view replacement);

// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view text);
// Appends the code point as UTF-8.
void appendUtf8(std::string& out, uint32_t code);
// The body of a JavaScript string literal, unescaped; nullopt when it holds
// an escape that is not one (or half a surrogate pair).
std::optional<std::string> unescapeStringLiteral(std::string_view text);

}  // namespace mr
