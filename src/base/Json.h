// JSON to Value and back. Reading never expands anything and refuses
// documents nested deeper than kMaxNesting; writing never fails (invalid
// UTF-8 becomes U+FFFD, non-finite reals become null).
#pragma once

#include <string>
#include <string_view>

#include "base/Error.h"
#include "base/Value.h"

namespace mr {

inline constexpr int kMaxNesting = 512;

struct JsonOptions {
  bool pretty = false;
  // Tagged JSON keeps every kind of Value: dates, data and non-finite reals
  // become one-key objects ("$date", "$data", "$real"), and a dictionary
  // that could be mistaken for one is wrapped in "$dict". Used for the
  // settings file and for archived values.
  bool tagged = false;
};

Result<Value> parseJson(std::string_view text, bool tagged = false);
// Dates as ISO 8601 text and data as Base64 text unless tagged.
std::string toJson(const Value& value, JsonOptions options = {});

// Pieces of the compact writer, the same text as toJson, for callers that
// write many objects of one shape.
void appendJsonString(std::string& out, std::string_view text);
void appendJsonReal(std::string& out, double value);

// The keyed-archive stand-in: a lossless blob of a Value, and back.
Bytes archiveValue(const Value& value);
Result<Value> unarchiveValue(const Bytes& blob);

}  // namespace mr
