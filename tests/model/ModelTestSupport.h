// Fixtures for the model tests: answers written as the services send them.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "base/Json.h"
#include "base/Value.h"
#include "base/XMLReader.h"

namespace mr::test {

inline Value json(std::string_view text) {
  Result<Value> value = parseJson(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? std::move(value).value() : Value();
}

inline Value xml(std::string_view text) {
  Result<Value> value = XMLReader::dictionaryForXMLString(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? std::move(value).value() : Value();
}

inline Date seconds(double value) {
  return Date::fromSecondsSince1970(value);
}

}  // namespace mr::test
