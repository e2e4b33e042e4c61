#include "base/NSHTTPQueryDictionary.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/Url.h"

namespace mr {
namespace {

int compareCaseInsensitive(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const auto lower = [](char c) {
      return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    };
    if (lower(a[i]) != lower(b[i])) return lower(a[i]) < lower(b[i]) ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::string numberString(const Value& number) {
  if (const bool* b = number.asBool()) return *b ? "1" : "0";
  if (const int64_t* i = number.asInteger()) return std::to_string(*i);
  if (const double* d = number.asReal()) {
    if (std::isnan(*d)) return "nan";
    if (std::isinf(*d)) return *d < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *d);
    return std::string(buffer, result.ptr);
  }
  return {};
}

NSHTTPQueryDictionary NSHTTPQueryDictionary::withQuery(std::string_view query) {
  NSHTTPQueryDictionary result;
  size_t start = 0;
  while (start <= query.size()) {
    const size_t end = std::min(query.find('&', start), query.size());
    const std::string_view piece = query.substr(start, end - start);
    if (!piece.empty()) {
      const size_t equals = piece.find('=');
      if (equals == std::string_view::npos) {
        result.parameter.set(std::string(piece), Value(std::string()));
      } else {
        std::string_view value = piece.substr(equals + 1);
        value = value.substr(0, value.find('='));
        result.parameter.set(std::string(piece.substr(0, equals)), Value(value));
      }
    }
    start = end + 1;
  }
  return result;
}

NSHTTPQueryDictionary NSHTTPQueryDictionary::withURL(std::string_view url) {
  const auto parsed = Url::parse(url);
  return withQuery(parsed ? std::string_view(parsed->query) : std::string_view());
}

std::optional<std::string> NSHTTPQueryDictionary::buildQuery() const {
  std::vector<const Dictionary::Entry*> entries;
  entries.reserve(parameter.size());
  for (const auto& entry : parameter)
    entries.push_back(&entry);
  // Ties between keys that differ only in case fall back to byte order, so
  // the result is the same on every run.
  std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) {
    const int order = compareCaseInsensitive(a->first, b->first);
    return order != 0 ? order < 0 : a->first < b->first;
  });
  std::string query;
  for (const auto* entry : entries) {
    std::string value;
    if (const std::string* text = entry->second.asString()) {
      value = urlencode(*text);
    } else if (entry->second.isNumber()) {
      value = urlencode(numberString(entry->second));
    } else {
      return std::nullopt;
    }
    if (!query.empty()) query += '&';
    query += entry->first;
    query += '=';
    query += value;
  }
  return query;
}

std::string NSHTTPQueryDictionary::urlencode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace mr
