// Request parameters and their canonical query string: keys sorted without
// regard to case, values percent-encoded, "key=value" joined by "&".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Value.h"

namespace mr {

class NSHTTPQueryDictionary {
 public:
  NSHTTPQueryDictionary() = default;
  explicit NSHTTPQueryDictionary(Dictionary parameters) : parameter(std::move(parameters)) {}

  static NSHTTPQueryDictionary dictionaryWithDictionary(const Dictionary& parameters) {
    return NSHTTPQueryDictionary(parameters);
  }
  // Splits on "&" then "="; keys and values are kept as they stand. A piece
  // without "=" is a key with an empty value; text after a second "=" is
  // dropped.
  static NSHTTPQueryDictionary withQuery(std::string_view query);
  // The same on the URL's query part.
  static NSHTTPQueryDictionary withURL(std::string_view url);

  void setObject(Value value, std::string key) { parameter.set(std::move(key), std::move(value)); }
  const Value* objectForKey(std::string_view key) const { return parameter.find(key); }

  // The query string; nullopt when a value is neither a string nor a number,
  // which makes the request that wanted it fail to build.
  std::optional<std::string> buildQuery() const;
  static std::optional<std::string> buildHTTPQueryFromDictionary(const Dictionary& parameters) {
    return dictionaryWithDictionary(parameters).buildQuery();
  }

  // Percent-encodes every byte except ASCII letters, digits and "-_.~", with
  // upper-case hex; a space becomes %20, never "+".
  static std::string urlencode(std::string_view text);

  Dictionary parameter;
};

// A number as the query string shows it: integers without a fraction,
// booleans as 1/0, reals in their shortest exact form.
std::string numberString(const Value& number);

}  // namespace mr
