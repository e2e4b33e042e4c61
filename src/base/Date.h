// A point in calendar time, as the program stores and compares it.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace mr {

struct Date {
  double secondsSince1970 = 0;

  // The reference date of the stored formats that count from 2001-01-01.
  static constexpr double kReferenceDateOffset = 978307200.0;

  static Date fromSecondsSince1970(double seconds) { return Date{seconds}; }
  static Date fromReferenceDate(double secondsSince2001) {
    return Date{secondsSince2001 + kReferenceDateOffset};
  }
  double timeIntervalSinceReferenceDate() const { return secondsSince1970 - kReferenceDateOffset; }
  Date addingSeconds(double seconds) const { return Date{secondsSince1970 + seconds}; }

  auto operator<=>(const Date&) const = default;
};

// "2024-05-01T10:20:30Z" (and fractional seconds or a numeric offset on reading).
std::string formatISO8601(Date date);
std::optional<Date> parseISO8601(std::string_view text);

// Dates in Unicode date-pattern syntax ("yyyy-MM-dd HH:mm:ss"), read in the
// POSIX English locale so that fixed server formats parse on every desktop,
// and in the local time zone unless the pattern carries a zone.
std::optional<Date> parseDateWithFormat(std::string_view text, std::string_view pattern);
std::string formatDateWithFormat(Date date, std::string_view pattern);

}  // namespace mr
