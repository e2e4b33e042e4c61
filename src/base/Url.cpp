#include "base/Url.h"

#include <algorithm>
#include <cctype>

namespace mr {

std::optional<Url> Url::parse(std::string_view text) {
  Url url;
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  for (size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool valid = std::isalpha(static_cast<unsigned char>(c)) ||
                       (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' ||
                                  c == '-' || c == '.'));
    if (!valid) return std::nullopt;
    url.scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string_view rest = text.substr(colon + 1);
  const size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    url.fragment = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  const size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    url.query = rest.substr(question + 1);
    url.hasQuery = true;
    rest = rest.substr(0, question);
  }
  if (rest.substr(0, 2) == "//") {
    rest = rest.substr(2);
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    url.path = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority = authority.substr(at + 1);
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
      const size_t close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      url.host = authority.substr(1, close - 1);
      const std::string_view after = authority.substr(close + 1);
      if (!after.empty()) {
        if (after.front() != ':') return std::nullopt;
        portText = after.substr(1);
      }
    } else {
      const size_t portColon = authority.rfind(':');
      url.host = authority.substr(0, portColon);
      if (portColon != std::string_view::npos) portText = authority.substr(portColon + 1);
    }
    if (!portText.empty()) {
      if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
          })) {
        return std::nullopt;
      }
      url.port = std::stoi(std::string(portText));
      if (url.port > 65535) return std::nullopt;
    }
  } else {
    url.path = rest;
  }
  return url;
}

int Url::effectivePort() const {
  if (port != 0) return port;
  if (scheme == "https") return 443;
  if (scheme == "http") return 80;
  return 0;
}

std::string Url::origin() const {
  std::string text = scheme + "://";
  text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != 0) text += ":" + std::to_string(port);
  return text;
}

std::string Url::toString() const {
  std::string text = host.empty() && port == 0 ? scheme + ":" : origin();
  text += path;
  if (hasQuery) text += "?" + query;
  if (!fragment.empty()) text += "#" + fragment;
  return text;
}

}  // namespace mr
