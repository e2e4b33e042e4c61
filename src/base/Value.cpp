#include "base/Value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/Random.h"

namespace mr {

// ---------------------------------------------------------------- Dictionary

namespace {
constexpr size_t kIndexThreshold = 64;  // below this a linear scan is as fast, and lighter
}

Dictionary::Dictionary() = default;
Dictionary::~Dictionary() = default;

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  for (const auto& entry : entries)
    set(entry.first, entry.second);
}

Dictionary Dictionary::fromUniqueEntries(std::vector<Entry> entries) {
  Dictionary dictionary;
  dictionary.entries_ = std::move(entries);
  dictionary.rebuildIndex();
  return dictionary;
}

Dictionary::Dictionary(const Dictionary& other) : entries_(other.entries_) {
  if (other.index_) index_ = std::make_unique<Index>(*other.index_);
}

Dictionary::Dictionary(Dictionary&& other) noexcept = default;

Dictionary& Dictionary::operator=(const Dictionary& other) {
  if (this != &other) {
    Dictionary copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Dictionary& Dictionary::operator=(Dictionary&& other) noexcept = default;

const Value* Dictionary::find(std::string_view key) const {
  if (index_) {
    auto found = index_->find(key);
    return found == index_->end() ? nullptr : &entries_[found->second].second;
  }
  for (const auto& entry : entries_) {
    if (entry.first == key) return &entry.second;
  }
  return nullptr;
}

Value* Dictionary::find(std::string_view key) {
  return const_cast<Value*>(static_cast<const Dictionary*>(this)->find(key));
}

Value& Dictionary::operator[](std::string_view key) {
  if (Value* existing = find(key)) return *existing;
  set(std::string(key), Value());
  return entries_.back().second;
}

void Dictionary::set(std::string key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return;
  }
  if (index_) (*index_)[key] = entries_.size();
  entries_.emplace_back(std::move(key), std::move(value));
  if (!index_ && entries_.size() > kIndexThreshold) rebuildIndex();
}

bool Dictionary::erase(std::string_view key) {
  auto found = std::find_if(entries_.begin(), entries_.end(),
                            [key](const Entry& entry) { return entry.first == key; });
  if (found == entries_.end()) return false;
  entries_.erase(found);
  if (index_) rebuildIndex();
  return true;
}

void Dictionary::clear() {
  entries_.clear();
  index_.reset();
}

void Dictionary::reserve(size_t count) {
  entries_.reserve(count);
}
size_t Dictionary::size() const {
  return entries_.size();
}
bool Dictionary::empty() const {
  return entries_.empty();
}
Dictionary::const_iterator Dictionary::begin() const {
  return entries_.begin();
}
Dictionary::const_iterator Dictionary::end() const {
  return entries_.end();
}
Dictionary::iterator Dictionary::begin() {
  return entries_.begin();
}
Dictionary::iterator Dictionary::end() {
  return entries_.end();
}

std::vector<std::string> Dictionary::keys() const {
  std::vector<std::string> result;
  result.reserve(entries_.size());
  for (const auto& entry : entries_)
    result.push_back(entry.first);
  return result;
}

bool Dictionary::operator==(const Dictionary& other) const {
  if (size() != other.size()) return false;
  for (const auto& [key, value] : entries_) {
    const Value* theirs = other.find(key);
    if (theirs == nullptr || !(*theirs == value)) return false;
  }
  return true;
}

void Dictionary::rebuildIndex() {
  if (entries_.size() <= kIndexThreshold) {
    index_.reset();
    return;
  }
  index_ = std::make_unique<Index>();
  index_->reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i)
    (*index_)[entries_[i].first] = i;
}

// ------------------------------------------------------- string conversions

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

size_t skipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos]))
    ++pos;
  return pos;
}

template <class Int>
Int leadingInteger(std::string_view text) {
  size_t pos = skipBlanks(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // Accumulate as a negative number so that the minimum fits; saturate.
  constexpr Int kMin = std::numeric_limits<Int>::min();
  constexpr Int kMax = std::numeric_limits<Int>::max();
  Int value = 0;
  bool overflow = false;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    const Int digit = text[pos] - '0';
    if (value < (kMin + digit) / 10) {
      overflow = true;
      break;
    }
    value = value * 10 - digit;
  }
  if (overflow) return negative ? kMin : kMax;
  if (negative) return value;
  return value == kMin ? kMax : -value;
}

}  // namespace

int32_t stringIntValue(std::string_view text) {
  return leadingInteger<int32_t>(text);
}
int64_t stringIntegerValue(std::string_view text) {
  return leadingInteger<int64_t>(text);
}

double stringDoubleValue(std::string_view text) {
  const size_t start = skipBlanks(text, 0);
  size_t pos = start;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  const size_t digitsStart = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
    ++pos;
  size_t digits = pos - digitsStart;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    const size_t fractionStart = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
      ++pos;
    digits += pos - fractionStart;
  }
  if (digits == 0) return 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t exponent = pos + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const size_t exponentDigits = exponent;
    while (exponent < text.size() && text[exponent] >= '0' && text[exponent] <= '9')
      ++exponent;
    if (exponent > exponentDigits) pos = exponent;
  }
  size_t literalStart = start;
  if (text[literalStart] == '+') ++literalStart;  // from_chars takes no plus sign
  double value = 0;
  const auto result = std::from_chars(text.data() + literalStart, text.data() + pos, value);
  if (result.ec == std::errc::result_out_of_range) {
    return text[start] == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  return value;
}

bool stringBoolValue(std::string_view text) {
  size_t pos = skipBlanks(text, 0);
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  while (pos < text.size() && text[pos] == '0')
    ++pos;
  if (pos >= text.size()) return false;
  const char c = text[pos];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string_view trimWhitespace(std::string_view text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && isBlank(text[start]))
    ++start;
  while (end > start && isBlank(text[end - 1]))
    --end;
  return text.substr(start, end - start);
}

// -------------------------------------------------------------------- Value

namespace {

int32_t doubleToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

int64_t doubleToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

// The present, non-null value, or nullptr.
const Value* present(const Value* value) {
  return value == nullptr || value->isNull() ? nullptr : value;
}

std::optional<int64_t> integerOf(const Value* value) {
  if (value == nullptr) return std::nullopt;
  if (const bool* b = value->asBool()) return *b ? 1 : 0;
  if (const int64_t* i = value->asInteger()) return *i;
  if (const double* d = value->asReal()) return doubleToInt64(*d);
  if (const std::string* s = value->asString()) return stringIntegerValue(*s);
  return std::nullopt;
}

std::optional<int32_t> intOf(const Value* value) {
  if (value == nullptr) return std::nullopt;
  if (const bool* b = value->asBool()) return *b ? 1 : 0;
  if (const int64_t* i = value->asInteger()) return static_cast<int32_t>(*i);
  if (const double* d = value->asReal()) return doubleToInt32(*d);
  if (const std::string* s = value->asString()) return stringIntValue(*s);
  return std::nullopt;
}

std::optional<float> floatOf(const Value* value) {
  if (value == nullptr) return std::nullopt;
  if (auto number = value->numberAsDouble()) return static_cast<float>(*number);
  if (const std::string* s = value->asString()) return static_cast<float>(stringDoubleValue(*s));
  return std::nullopt;
}

std::optional<Date> unixtimeOf(const Value* value, std::optional<Date> fallback) {
  // Text without a number is no time at all, rather than the epoch.
  if (value != nullptr && value->isString()) {
    std::string_view text = trimWhitespace(*value->asString());
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return fallback;
  }
  const int32_t seconds = intOf(value).value_or(-1);
  if (seconds < 0) return fallback;
  return Date{static_cast<double>(seconds)};
}

std::optional<Date> dateOf(const Value* value, std::string_view format,
                           std::optional<Date> fallback) {
  if (value == nullptr || !value->isString()) return fallback;
  return parseDateWithFormat(*value->asString(), format);
}

}  // namespace

std::optional<double> Value::numberAsDouble() const {
  if (const bool* b = asBool()) return *b ? 1.0 : 0.0;
  if (const int64_t* i = asInteger()) return static_cast<double>(*i);
  if (const double* d = asReal()) return *d;
  return std::nullopt;
}

const Value* Value::get(std::string_view key) const {
  const Dictionary* dictionary = asDictionary();
  return dictionary == nullptr ? nullptr : dictionary->find(key);
}

Value* Value::get(std::string_view key) {
  Dictionary* dictionary = asDictionary();
  return dictionary == nullptr ? nullptr : dictionary->find(key);
}

void Value::set(std::string key, Value value) {
  if (isNull()) storage_ = Dictionary();
  if (Dictionary* dictionary = asDictionary()) dictionary->set(std::move(key), std::move(value));
}

bool Value::remove(std::string_view key) {
  Dictionary* dictionary = asDictionary();
  return dictionary != nullptr && dictionary->erase(key);
}

void Value::append(Value value) {
  if (isNull()) storage_ = Array();
  if (Array* members = asArray()) members->push_back(std::move(value));
}

size_t Value::size() const {
  if (const Array* members = asArray()) return members->size();
  if (const Dictionary* dictionary = asDictionary()) return dictionary->size();
  return 0;
}

std::vector<const Value*> Value::membersForKeyPath(std::string_view path) const {
  std::vector<const Value*> members;
  const Value* found = objectForKeyPath(path);
  if (found == nullptr) return members;
  if (const Array* list = found->asArray()) {
    for (const auto& member : *list) {
      if (member.isDictionary()) members.push_back(&member);
    }
  } else if (found->isDictionary()) {
    members.push_back(found);
  }
  return members;
}

const Value* Value::objectForKeyPath(std::string_view path) const {
  const Value* current = this;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string_view component = path.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    std::string_view key = component;
    std::optional<int64_t> index;
    const size_t hash = component.find('#');
    if (hash != std::string_view::npos && component.find('#', hash + 1) == std::string_view::npos) {
      key = component.substr(0, hash);
      index = stringIntegerValue(component.substr(hash + 1));
    }
    const Value* found = present(current->get(key));
    if (found == nullptr) return nullptr;
    if (index && *index >= 0 && found->isArray()) {
      const Array& members = *found->asArray();
      if (static_cast<uint64_t>(*index) >= members.size()) return nullptr;
      found = &members[static_cast<size_t>(*index)];
    }
    if (slash == std::string_view::npos) return found;
    if (!found->isDictionary()) return nullptr;
    current = found;
    start = slash + 1;
  }
}

int32_t Value::intForKey(std::string_view key, int32_t fallback) const {
  return intOf(present(get(key))).value_or(fallback);
}

int64_t Value::integerForKey(std::string_view key, int64_t fallback) const {
  return integerOf(present(get(key))).value_or(fallback);
}

uint64_t Value::unsignedIntegerForKey(std::string_view key, uint64_t fallback) const {
  const auto value = integerOf(present(get(key)));
  return value ? static_cast<uint64_t>(*value) : fallback;
}

bool Value::boolForKey(std::string_view key, bool fallback) const {
  const auto value = intOf(present(get(key)));
  return value ? *value != 0 : fallback;
}

float Value::floatForKey(std::string_view key, float fallback) const {
  return floatOf(present(get(key))).value_or(fallback);
}

std::optional<std::string> Value::stringForKey(std::string_view key) const {
  const Value* value = get(key);
  if (value == nullptr || !value->isString()) return std::nullopt;
  return *value->asString();
}

std::string Value::stringForKey(std::string_view key, std::string_view fallback) const {
  return stringForKey(key).value_or(std::string(fallback));
}

const Dictionary* Value::dictionaryForKey(std::string_view key) const {
  const Value* value = get(key);
  return value == nullptr ? nullptr : value->asDictionary();
}

const Array* Value::arrayForKey(std::string_view key) const {
  const Value* value = get(key);
  return value == nullptr ? nullptr : value->asArray();
}

std::optional<Date> Value::dateForKey(std::string_view key, std::string_view format,
                                      std::optional<Date> fallback) const {
  return dateOf(get(key), format, fallback);
}

std::optional<Date> Value::unixtimeForKey(std::string_view key,
                                          std::optional<Date> fallback) const {
  return unixtimeOf(present(get(key)), fallback);
}

int32_t Value::intForKeyPath(std::string_view path, int32_t fallback) const {
  return intOf(objectForKeyPath(path)).value_or(fallback);
}

bool Value::boolForKeyPath(std::string_view path, bool fallback) const {
  const auto value = intOf(objectForKeyPath(path));
  return value ? *value != 0 : fallback;
}

float Value::floatForKeyPath(std::string_view path, float fallback) const {
  return floatOf(objectForKeyPath(path)).value_or(fallback);
}

std::optional<std::string> Value::stringForKeyPath(std::string_view path) const {
  const Value* value = objectForKeyPath(path);
  if (value == nullptr || !value->isString()) return std::nullopt;
  return *value->asString();
}

std::string Value::stringForKeyPath(std::string_view path, std::string_view fallback) const {
  return stringForKeyPath(path).value_or(std::string(fallback));
}

const Dictionary* Value::dictionaryForKeyPath(std::string_view path) const {
  const Value* value = objectForKeyPath(path);
  return value == nullptr ? nullptr : value->asDictionary();
}

const Array* Value::arrayForKeyPath(std::string_view path) const {
  const Value* value = objectForKeyPath(path);
  return value == nullptr ? nullptr : value->asArray();
}

std::optional<Date> Value::dateForKeyPath(std::string_view path, std::string_view format,
                                          std::optional<Date> fallback) const {
  return dateOf(objectForKeyPath(path), format, fallback);
}

std::optional<Date> Value::unixtimeForKeyPath(std::string_view path,
                                              std::optional<Date> fallback) const {
  return unixtimeOf(objectForKeyPath(path), fallback);
}

std::optional<std::string> Value::stringForTextKey(std::string_view key) const {
  const Value* child = get(key);
  if (child == nullptr || !child->isDictionary()) return std::nullopt;
  const Value* text = child->get("text");
  if (text == nullptr || !text->isString()) return std::nullopt;
  return std::string(trimWhitespace(*text->asString()));
}

std::string Value::stringForTextKey(std::string_view key, std::string_view fallback) const {
  const Value* child = get(key);
  if (child == nullptr || !child->isDictionary()) return std::string(fallback);
  const Value* text = child->get("text");
  const std::string_view chosen =
      text != nullptr && text->isString() ? *text->asString() : fallback;
  return std::string(trimWhitespace(chosen));
}

int32_t Value::intForTextKey(std::string_view key, int32_t fallback) const {
  const auto text = stringForTextKey(key);
  return text ? stringIntValue(*text) : fallback;
}

bool Value::boolForTextKey(std::string_view key, bool fallback) const {
  const auto text = stringForTextKey(key);
  return text ? stringBoolValue(*text) : fallback;
}

float Value::floatForTextKey(std::string_view key, float fallback) const {
  const auto text = stringForTextKey(key);
  return text ? static_cast<float>(stringDoubleValue(*text)) : fallback;
}

std::optional<Date> Value::dateForTextKey(std::string_view key, std::string_view format,
                                          std::optional<Date> fallback) const {
  const auto text = stringForTextKey(key);
  return text ? parseDateWithFormat(*text, format) : fallback;
}

void Value::setObjectNullIfNil(std::string key, std::optional<Value> value) {
  set(std::move(key), value ? std::move(*value) : Value());
}

void Value::setObjectWithDefault(std::string key, std::optional<Value> value, Value fallback) {
  set(std::move(key), value ? std::move(*value) : std::move(fallback));
}

Value Value::randomizedArray() const {
  const Array* members = asArray();
  if (members == nullptr || members->size() < 2) return *this;
  Array shuffled = *members;
  for (size_t i = shuffled.size() - 1; i > 0; --i) {
    std::swap(shuffled[i], shuffled[randomIndex(i + 1)]);
  }
  return Value(std::move(shuffled));
}

bool Value::operator==(const Value& other) const {
  return storage_ == other.storage_;
}

}  // namespace mr
