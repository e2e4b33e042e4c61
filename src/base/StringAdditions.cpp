#include "base/StringAdditions.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <unicode/regex.h>

#include <array>
#include <cstdio>

#include "base/Localization.h"
#include "base/Log.h"

namespace mr {
namespace {

constexpr char kStandardAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafeAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encodeBase64(const Bytes& data, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += alphabet[(group >> 18) & 63];
    out += alphabet[(group >> 12) & 63];
    out += alphabet[(group >> 6) & 63];
    out += alphabet[group & 63];
  }
  const size_t rest = data.size() - i;
  if (rest == 1) {
    const uint32_t group = data[i] << 16;
    out += alphabet[(group >> 18) & 63];
    out += alphabet[(group >> 12) & 63];
    if (pad) out += "==";
  } else if (rest == 2) {
    const uint32_t group = (data[i] << 16) | (data[i + 1] << 8);
    out += alphabet[(group >> 18) & 63];
    out += alphabet[(group >> 12) & 63];
    out += alphabet[(group >> 6) & 63];
    if (pad) out += '=';
  }
  return out;
}

// The value of a Base64 digit in the alphabet whose last two digits are
// `digit62` and `digit63`; -1 for any other character.
int base64Digit(char c, char digit62, char digit63) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == digit62) return 62;
  if (c == digit63) return 63;
  return -1;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The three groups of four values that make bytes; `count` values in `quad`.
void flushQuad(const std::array<int, 4>& quad, size_t count, Bytes& out) {
  if (count >= 2) out.push_back(static_cast<uint8_t>((quad[0] << 2) | (quad[1] >> 4)));
  if (count >= 3) out.push_back(static_cast<uint8_t>(((quad[1] & 15) << 4) | (quad[2] >> 2)));
  if (count >= 4) out.push_back(static_cast<uint8_t>(((quad[2] & 3) << 6) | quad[3]));
}

// Formats one double with a format of our own string tables, which must hold
// exactly one %f-style conversion.
std::string formatOneDouble(const std::string& format, double value) {
  size_t conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < format.size() && (format[j] == '.' || (format[j] >= '0' && format[j] <= '9')))
      ++j;
    if (j >= format.size() || format[j] != 'f') return {};
    ++conversions;
  }
  if (conversions != 1) return {};
  char buffer[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
  return buffer;
}

}  // namespace

std::string base64StringFromData(const Bytes& data) {
  return encodeBase64(data, kStandardAlphabet, true);
}

std::string urlSafeBase64StringFromData(const Bytes& data) {
  return encodeBase64(data, kUrlSafeAlphabet, false);
}

Bytes decodeUrlSafeBase64StringToData(std::string_view text) {
  std::string padded(text);
  padded.append(4 - padded.size() % 4, '=');
  Bytes out;
  std::array<int, 4> quad{};
  size_t count = 0;
  for (char c : padded) {
    if (c == '=') break;
    const int value = base64Digit(c, '-', '_');
    if (value < 0) continue;
    quad[count++] = value;
    if (count == 4) {
      flushQuad(quad, 4, out);
      count = 0;
    }
  }
  flushQuad(quad, count, out);
  return out;
}

std::optional<Bytes> decodeBase64(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  std::array<int, 4> quad{};
  size_t count = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = base64Digit(c, '+', '/');
    if (value < 0 || padding > 0) return std::nullopt;  // stray character, or data after "="
    quad[count++] = value;
    if (count == 4) {
      flushQuad(quad, 4, out);
      count = 0;
    }
  }
  if (count == 1 || padding > 2) return std::nullopt;
  flushQuad(quad, count, out);
  return out;
}

std::string hexStringFromData(const Bytes& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (uint8_t byte : data) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

Bytes dataFromHexString(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = hexDigit(text[i]);
    const int low = hexDigit(text[i + 1]);
    if (high < 0)
      out.push_back(0);
    else if (low < 0)
      out.push_back(static_cast<uint8_t>(high));
    else
      out.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return out;
}

std::string MD5DigestString(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // Fetched once: fetching on every call takes a lock in the crypto library.
  static EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, md5 != nullptr ? md5 : EVP_md5(),
             nullptr);
  return hexStringFromData(Bytes(digest, digest + length));
}

Bytes hmacSha1(std::string_view key, std::string_view data) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(data.data()), data.size(), mac, &length);
  return Bytes(mac, mac + length);
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexDigit(text[i + 1]);
    const int low = hexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (!isValidUtf8(out)) return std::nullopt;
  return out;
}

std::map<std::string, std::string> parseQueryString(std::string_view query) {
  std::map<std::string, std::string> result;
  constexpr std::string_view kSeparator = "&amp;";
  size_t start = 0;
  for (;;) {
    const size_t end = query.find(kSeparator, start);
    const std::string_view piece =
        query.substr(start, end == std::string_view::npos ? end : end - start);
    const size_t equals = piece.find('=');
    if (equals != std::string_view::npos) {
      const std::string_view rawKey = piece.substr(0, equals);
      std::string_view rawValue = piece.substr(equals + 1);
      rawValue = rawValue.substr(0, rawValue.find('='));
      // A piece that does not decode is kept as it stands rather than lost.
      result[percentDecode(rawKey).value_or(std::string(rawKey))] =
          percentDecode(rawValue).value_or(std::string(rawValue));
    }
    if (end == std::string_view::npos) break;
    start = end + kSeparator.size();
  }
  return result;
}

std::string stringWithDistance(double metres) {
  char buffer[64];
  if (metres < 1000.0) {
    std::snprintf(buffer, sizeof buffer, "%.0fm", metres);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.1fkm", metres / 1000.0);
  }
  return buffer;
}

namespace {

// Which unit applies, and the value in it.
std::pair<int, double> relativeAge(Date date, Date now) {
  const double s = now.secondsSince1970 - date.secondsSince1970;
  if (s > 86400) return {3, s / 86400};
  if (s > 3600) return {2, s / 3600};
  if (s > 60) return {1, s / 60};
  return {0, s};
}

}  // namespace

std::string stringWithDateTimeUntilNow(Date date, Date now) {
  static constexpr const char* kFormats[] = {"%.0fs", "%.0fm", "%.0fh", "%.0fd"};
  const auto [unit, value] = relativeAge(date, now);
  char buffer[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::snprintf(buffer, sizeof buffer, kFormats[unit], value);
#pragma GCC diagnostic pop
  return buffer;
}

std::string stringWithDateTimeUntilNow(Date date, const Clock& clock) {
  return stringWithDateTimeUntilNow(date, clock.currentDate());
}

std::string stringWithDateTimeUntilNowInLocal(Date date, Date now) {
  static constexpr const char* kKeys[] = {
      "stringWithDateTimeUntilNowInLocal_seconds", "stringWithDateTimeUntilNowInLocal_minutes",
      "stringWithDateTimeUntilNowInLocal_hours", "stringWithDateTimeUntilNowInLocal_days"};
  const auto [unit, value] = relativeAge(date, now);
  return formatOneDouble(localizedString(kKeys[unit], ""), value);
}

std::string stringByReplacingOccurrencesOfRegex(std::string_view text, std::string_view pattern,
                                                std::string_view replacement) {
  UErrorCode status = U_ZERO_ERROR;
  const auto unicode = [](std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  };
  // The matcher keeps a reference to its input, which must outlive it.
  const icu::UnicodeString input = unicode(text);
  icu::RegexMatcher matcher(unicode(pattern), input, UREGEX_CASE_INSENSITIVE, status);
  if (U_FAILURE(status)) {
    log::warning("Invalid regular expression \"{}\": {}", pattern, u_errorName(status));
    return std::string(text);
  }
  const icu::UnicodeString replaced = matcher.replaceAll(unicode(replacement), status);
  if (U_FAILURE(status)) return std::string(text);
  std::string out;
  replaced.toUTF8String(out);
  return out;
}

bool isValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int length = 0;
    uint32_t code = 0;
    if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (end - p < length) return false;
    for (int i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    p += length;
  }
  return true;
}

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::optional<std::string> unescapeStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case '"':
        out += '"';
        break;
      case '\'':
        out += '\'';
        break;
      case '\\':
        out += '\\';
        break;
      case '/':
        out += '/';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'v':
        out += '\v';
        break;
      case '0':
        out += '\0';
        break;
      case 'x': {
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0)
          return std::nullopt;
        appendUtf8(out, static_cast<uint32_t>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
        i += 2;
        break;
      }
      case 'u': {
        const auto unit = [&text](size_t at) -> int {
          if (at + 4 > text.size()) return -1;
          int value = 0;
          for (size_t k = at; k < at + 4; ++k) {
            const int digit = hexDigit(text[k]);
            if (digit < 0) return -1;
            value = value * 16 + digit;
          }
          return value;
        };
        int code = unit(i + 1);
        if (code < 0) return std::nullopt;
        i += 4;
        // A surrogate pair stands for one character.
        if (code >= 0xD800 && code <= 0xDBFF && i + 6 < text.size() &&
            text.substr(i + 1, 2) == "\\u") {
          const int low = unit(i + 3);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
        }
        if (code >= 0xD800 && code <= 0xDFFF) return std::nullopt;  // a lone half
        appendUtf8(out, static_cast<uint32_t>(code));
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

}  // namespace mr
