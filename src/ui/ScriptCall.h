// Script text for a page call: "app.setGenreList([...])".
#pragma once

#include <string>

#include "base/Json.h"

namespace mr {

// `function` applied to the compact JSON of `argument`; `terminator` is what
// the page's protocol puts after the call (";" for the track detail page).
inline std::string scriptCall(const std::string& function, const Value& argument,
                              const char* terminator = "") {
  return function + "(" + toJson(argument) + ")" + terminator;
}

// The text, or "" when there is none: pages get strings, never null.
inline Value textOrEmpty(const std::optional<std::string>& text) {
  return Value(text.value_or(std::string()));
}

}  // namespace mr
