// The dynamic value tree that every parsed answer, the music library and
// the settings arrive as: dictionary, array, string, number (integer, real,
// boolean), null, data and date.
//
// The typed getters never fail: a missing key, a null, or a value of the
// wrong kind yields the caller's default, by the coercion rules documented on
// each. They apply to dictionaries; on any other kind every key is missing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "base/Date.h"

namespace mr {

using Bytes = std::vector<uint8_t>;
class Value;
using Array = std::vector<Value>;

// String keys to values. Keeps the order of insertion (so output is stable)
// and indexes its keys once it grows past a handful.
class Dictionary {
 public:
  using Entry = std::pair<std::string, Value>;
  using iterator = std::vector<Entry>::iterator;
  using const_iterator = std::vector<Entry>::const_iterator;

  Dictionary();
  Dictionary(std::initializer_list<Entry> entries);
  // Adopts entries whose keys the caller knows to be distinct.
  static Dictionary fromUniqueEntries(std::vector<Entry> entries);
  Dictionary(const Dictionary& other);
  Dictionary(Dictionary&& other) noexcept;
  Dictionary& operator=(const Dictionary& other);
  Dictionary& operator=(Dictionary&& other) noexcept;
  ~Dictionary();

  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  // Inserts a null under a missing key.
  Value& operator[](std::string_view key);
  // Replaces the entry under `key`, or appends a new one.
  void set(std::string key, Value value);
  bool erase(std::string_view key);
  void clear();
  void reserve(size_t count);

  size_t size() const;
  bool empty() const;
  const_iterator begin() const;
  const_iterator end() const;
  iterator begin();
  iterator end();
  std::vector<std::string> keys() const;

  // Equal entries, whatever their order.
  bool operator==(const Dictionary& other) const;

 private:
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  using Index = std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>>;
  void rebuildIndex();

  std::vector<Entry> entries_;
  std::unique_ptr<Index> index_;
};

class Value {
 public:
  enum class Type : uint8_t { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };

  Value() = default;
  Value(std::nullptr_t) {}                                                    // NOLINT
  Value(bool value) : storage_(value) {}                                      // NOLINT
  Value(int value) : storage_(int64_t{value}) {}                              // NOLINT
  Value(long value) : storage_(int64_t{value}) {}                             // NOLINT
  Value(long long value) : storage_(int64_t{value}) {}                        // NOLINT
  Value(unsigned value) : storage_(int64_t{value}) {}                         // NOLINT
  Value(unsigned long value) : storage_(static_cast<int64_t>(value)) {}       // NOLINT
  Value(unsigned long long value) : storage_(static_cast<int64_t>(value)) {}  // NOLINT
  Value(double value) : storage_(value) {}                                    // NOLINT
  Value(float value) : storage_(double{value}) {}                             // NOLINT
  Value(const char* value) : storage_(std::string(value)) {}                  // NOLINT
  Value(std::string value) : storage_(std::move(value)) {}                    // NOLINT
  Value(std::string_view value) : storage_(std::string(value)) {}             // NOLINT
  Value(Bytes value) : storage_(std::move(value)) {}                          // NOLINT
  Value(Date value) : storage_(value) {}                                      // NOLINT
  Value(Array value) : storage_(std::move(value)) {}                          // NOLINT
  Value(Dictionary value) : storage_(std::move(value)) {}                     // NOLINT

  static Value array() { return Value(Array{}); }
  static Value dictionary() { return Value(Dictionary{}); }

  Type type() const { return static_cast<Type>(storage_.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // The member of that kind, or nullptr.
  const bool* asBool() const { return std::get_if<bool>(&storage_); }
  const int64_t* asInteger() const { return std::get_if<int64_t>(&storage_); }
  const double* asReal() const { return std::get_if<double>(&storage_); }
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  std::string* asString() { return std::get_if<std::string>(&storage_); }
  const Bytes* asData() const { return std::get_if<Bytes>(&storage_); }
  const Date* asDate() const { return std::get_if<Date>(&storage_); }
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  Array* asArray() { return std::get_if<Array>(&storage_); }
  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }
  Dictionary* asDictionary() { return std::get_if<Dictionary>(&storage_); }

  // A number as a double (booleans as 0/1); nullopt for other kinds.
  std::optional<double> numberAsDouble() const;

  // ---- Dictionary access. get() yields nullptr when the key is absent; a
  // JSON null is present and is a Value of type Null.
  const Value* get(std::string_view key) const;
  Value* get(std::string_view key);
  bool contains(std::string_view key) const { return get(key) != nullptr; }
  // Makes a null value an empty dictionary first.
  void set(std::string key, Value value);
  bool remove(std::string_view key);
  // Appends to an array; makes a null value an empty array first.
  void append(Value value);
  size_t size() const;  // members of an array or dictionary, else 0

  // The value at a key path: keys joined by "/", each optionally followed by
  // "#" and an array index ("media$category#0/$t"). nullptr when any step is
  // missing, null or of the wrong kind.
  const Value* objectForKeyPath(std::string_view path) const;
  // The dictionaries at the path: those of a list, or a lone one (the XML
  // reader gives one child element as a dictionary and several as a list).
  std::vector<const Value*> membersForKeyPath(std::string_view path) const;

  // ---- Typed getters.
  // Numbers are truncated to the type; strings read their leading decimal
  // integer after optional white space and sign (0 when there is none).
  int32_t intForKey(std::string_view key, int32_t fallback) const;
  int64_t integerForKey(std::string_view key, int64_t fallback) const;
  uint64_t unsignedIntegerForKey(std::string_view key, uint64_t fallback) const;
  // True exactly when intForKey() would be non-zero ("true" reads false).
  bool boolForKey(std::string_view key, bool fallback) const;
  // Strings read their leading decimal floating literal (0 when none).
  float floatForKey(std::string_view key, float fallback) const;
  // Strings only; a number is not turned into a string.
  std::optional<std::string> stringForKey(std::string_view key) const;
  std::string stringForKey(std::string_view key, std::string_view fallback) const;
  const Dictionary* dictionaryForKey(std::string_view key) const;
  const Array* arrayForKey(std::string_view key) const;
  // A string parsed with the date pattern; a string that does not parse
  // gives nullopt, not the fallback.
  std::optional<Date> dateForKey(std::string_view key, std::string_view format,
                                 std::optional<Date> fallback = std::nullopt) const;
  // Seconds since 1970 from intForKey(); a negative or missing value gives
  // the fallback, 0 gives the epoch itself.
  std::optional<Date> unixtimeForKey(std::string_view key,
                                     std::optional<Date> fallback = std::nullopt) const;

  // The same rules, reading through objectForKeyPath().
  int32_t intForKeyPath(std::string_view path, int32_t fallback) const;
  bool boolForKeyPath(std::string_view path, bool fallback) const;
  float floatForKeyPath(std::string_view path, float fallback) const;
  std::optional<std::string> stringForKeyPath(std::string_view path) const;
  std::string stringForKeyPath(std::string_view path, std::string_view fallback) const;
  const Dictionary* dictionaryForKeyPath(std::string_view path) const;
  const Array* arrayForKeyPath(std::string_view path) const;
  std::optional<Date> dateForKeyPath(std::string_view path, std::string_view format,
                                     std::optional<Date> fallback = std::nullopt) const;
  std::optional<Date> unixtimeForKeyPath(std::string_view path,
                                         std::optional<Date> fallback = std::nullopt) const;

  // ---- Text nodes of trees read from XML, where an element's character
  // content sits under "text".
  // The child's "text", trimmed of white space and newlines; the fallback
  // (untrimmed) when the child is not a dictionary or has no text string.
  std::optional<std::string> stringForTextKey(std::string_view key) const;
  std::string stringForTextKey(std::string_view key, std::string_view fallback) const;
  int32_t intForTextKey(std::string_view key, int32_t fallback) const;
  // True when the first non-blank character is Y, y, T, t or a digit 1-9
  // (after an optional sign and leading zeros).
  bool boolForTextKey(std::string_view key, bool fallback) const;
  float floatForTextKey(std::string_view key, float fallback) const;
  std::optional<Date> dateForTextKey(std::string_view key, std::string_view format,
                                     std::optional<Date> fallback = std::nullopt) const;

  // A document made from the dictionary under the key or key path
  // (D(const Value&)); nullopt when the entry is not a dictionary.
  template <class D>
  std::optional<D> documentForKey(std::string_view key) const {
    const Value* member = get(key);
    if (member == nullptr || !member->isDictionary()) return std::nullopt;
    return D(*member);
  }
  template <class D>
  std::optional<D> documentForKeyPath(std::string_view path) const {
    const Value* member = objectForKeyPath(path);
    if (member == nullptr || !member->isDictionary()) return std::nullopt;
    return D(*member);
  }

  // ---- Setters on a dictionary.
  // Stores a null when there is no value.
  void setObjectNullIfNil(std::string key, std::optional<Value> value);
  // Stores the fallback when there is no value.
  void setObjectWithDefault(std::string key, std::optional<Value> value, Value fallback);
  void setInt(std::string key, int32_t value) { set(std::move(key), Value(int64_t{value})); }
  void setInteger(std::string key, int64_t value) { set(std::move(key), Value(value)); }
  void setBool(std::string key, bool value) { set(std::move(key), Value(value)); }
  void setFloat(std::string key, float value) { set(std::move(key), Value(double{value})); }

  // The array's members in random order (Fisher-Yates from the end); any
  // other kind comes back unchanged. The receiver is not changed.
  Value randomizedArray() const;

  bool operator==(const Value& other) const;

 private:
  std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Date, Array, Dictionary>
      storage_;
};

// The conversions behind the getters, for strings read elsewhere too.
int32_t stringIntValue(std::string_view text);
int64_t stringIntegerValue(std::string_view text);
double stringDoubleValue(std::string_view text);
bool stringBoolValue(std::string_view text);
// Trims ASCII white space and newlines, as the text getters do.
std::string_view trimWhitespace(std::string_view text);

}  // namespace mr
