#include "base/Date.h"

#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace mr {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool readDigits(std::string_view text, size_t& pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  out = value;
  return true;
}

bool expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::string formatISO8601(Date date) {
  const double floored = std::floor(date.secondsSince1970);
  const auto seconds = static_cast<std::time_t>(floored);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return buffer;
}

std::optional<Date> parseISO8601(std::string_view text) {
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!readDigits(text, pos, 4, year) || !expect(text, pos, '-') ||
      !readDigits(text, pos, 2, month) || !expect(text, pos, '-') ||
      !readDigits(text, pos, 2, day)) {
    return std::nullopt;
  }
  double fraction = 0;
  int offsetSeconds = 0;
  if (pos < text.size()) {
    if (!expect(text, pos, 'T') || !readDigits(text, pos, 2, hour) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, minute) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, second)) {
      return std::nullopt;
    }
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      double scale = 0.1;
      const size_t start = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        fraction += (text[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == start) return std::nullopt;
    }
    if (pos < text.size() && text[pos] == 'Z') {
      ++pos;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      const int sign = text[pos] == '-' ? -1 : 1;
      ++pos;
      int offsetHours = 0, offsetMinutes = 0;
      if (!readDigits(text, pos, 2, offsetHours)) return std::nullopt;
      if (pos < text.size() && text[pos] == ':') ++pos;
      if (!readDigits(text, pos, 2, offsetMinutes)) return std::nullopt;
      offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
  }
  if (pos != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  const int64_t days =
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const double seconds = static_cast<double>(days * 86400 + int64_t{hour} * 3600 +
                                             int64_t{minute} * 60 + second - offsetSeconds) +
                         fraction;
  return Date{seconds};
}

std::optional<Date> parseDateWithFormat(std::string_view text, std::string_view pattern) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString icuPattern = icu::UnicodeString::fromUTF8(
      icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  icu::SimpleDateFormat format(icuPattern, icu::Locale("en_US_POSIX"), status);
  if (U_FAILURE(status)) return std::nullopt;
  format.setLenient(false);
  const icu::UnicodeString icuText = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::ParsePosition position(0);
  const UDate parsed = format.parse(icuText, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != icuText.length()) return std::nullopt;
  return Date{parsed / 1000.0};
}

std::string formatDateWithFormat(Date date, std::string_view pattern) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString icuPattern = icu::UnicodeString::fromUTF8(
      icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
  icu::SimpleDateFormat format(icuPattern, icu::Locale("en_US_POSIX"), status);
  if (U_FAILURE(status)) return {};
  icu::UnicodeString out;
  format.format(date.secondsSince1970 * 1000.0, out);
  std::string result;
  out.toUTF8String(result);
  return result;
}

}  // namespace mr
