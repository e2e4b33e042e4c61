// A URL split into its parts (RFC 3986), without percent-decoding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mr {

struct Url {
  std::string scheme;    // lower-cased
  std::string host;      // IPv6 hosts without brackets
  int port = 0;          // 0 when the URL names none
  std::string path;      // "" or beginning with "/" when there is an authority
  std::string query;     // without "?"
  std::string fragment;  // without "#"
  bool hasQuery = false;

  // nullopt when there is no scheme or the port is not a number.
  static std::optional<Url> parse(std::string_view text);

  // The port given, or the scheme's default (80, 443).
  int effectivePort() const;
  // "scheme://host[:port]"
  std::string origin() const;
  std::string toString() const;
};

}  // namespace mr
