#include "base/Json.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/StringAdditions.h"

namespace mr {
namespace {

// Builds Values straight from the parser's events, with no intermediate tree.
class ValueBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool null() override { return add(Value()); }
  bool boolean(bool value) override { return add(Value(value)); }
  bool number_integer(number_integer_t value) override { return add(Value(int64_t{value})); }
  bool number_unsigned(number_unsigned_t value) override {
    if (value > static_cast<uint64_t>(INT64_MAX)) return add(Value(static_cast<double>(value)));
    return add(Value(static_cast<int64_t>(value)));
  }
  bool number_float(number_float_t value, const string_t&) override { return add(Value(value)); }
  bool string(string_t& value) override { return add(Value(std::move(value))); }
  bool binary(binary_t&) override { return fail("binary values are not JSON"); }
  bool start_object(std::size_t) override { return open(Value::dictionary()); }
  bool key(string_t& value) override {
    keys_.back() = std::move(value);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Value::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& problem) override {
    std::string message = problem.what();
    // Drop the library's "[json.exception.parse_error.101] " prefix.
    const size_t bracket = message.find("] ");
    if (bracket != std::string::npos) message = message.substr(bracket + 2);
    return fail("malformed JSON at byte " + std::to_string(position) + ": " + message);
  }

  Value result;
  std::string error;

 private:
  bool fail(std::string message) {
    if (error.empty()) error = std::move(message);
    return false;
  }
  bool open(Value container) {
    if (stack_.size() >= static_cast<size_t>(kMaxNesting)) return fail("JSON nested too deeply");
    stack_.push_back(std::move(container));
    keys_.emplace_back();
    return true;
  }
  bool close() {
    Value finished = std::move(stack_.back());
    stack_.pop_back();
    keys_.pop_back();
    return add(std::move(finished));
  }
  bool add(Value value) {
    if (stack_.empty()) {
      result = std::move(value);
    } else if (Array* members = stack_.back().asArray()) {
      members->push_back(std::move(value));
    } else {
      stack_.back().asDictionary()->set(std::move(keys_.back()), std::move(value));
    }
    return true;
  }

  std::vector<Value> stack_;
  std::vector<std::string> keys_;
};

Value untag(Value value);

Value untagDictionary(Dictionary dictionary) {
  if (dictionary.size() == 1) {
    const auto& [key, member] = *dictionary.begin();
    if (key == "$date") {
      if (auto seconds = member.numberAsDouble()) return Value(Date{*seconds});
    } else if (key == "$data" && member.isString()) {
      if (auto bytes = decodeBase64(*member.asString())) return Value(std::move(*bytes));
    } else if (key == "$real" && member.isString()) {
      const std::string& text = *member.asString();
      if (text == "nan") return Value(std::nan(""));
      if (text == "inf") return Value(HUGE_VAL);
      if (text == "-inf") return Value(-HUGE_VAL);
    } else if (key == "$dict" && member.isDictionary()) {
      Dictionary inner = *member.asDictionary();
      for (auto& entry : inner)
        entry.second = untag(std::move(entry.second));
      return Value(std::move(inner));
    }
  }
  for (auto& entry : dictionary)
    entry.second = untag(std::move(entry.second));
  return Value(std::move(dictionary));
}

Value untag(Value value) {
  if (Array* members = value.asArray()) {
    for (auto& member : *members)
      member = untag(std::move(member));
    return value;
  }
  if (Dictionary* dictionary = value.asDictionary()) return untagDictionary(std::move(*dictionary));
  return value;
}

std::string replaceInvalidUtf8(std::string_view text) {
  std::string repaired;
  size_t i = 0;
  while (i < text.size()) {
    size_t length = 1;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0xF0)
      length = 4;
    else if (c >= 0xE0)
      length = 3;
    else if (c >= 0xC0)
      length = 2;
    if (i + length <= text.size() && isValidUtf8(text.substr(i, length))) {
      repaired.append(text.substr(i, length));
      i += length;
    } else {
      repaired += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return repaired;
}

class Writer {
 public:
  explicit Writer(JsonOptions options) : options_(options) {}

  void write(const Value& value, int depth) {
    switch (value.type()) {
      case Value::Type::Null:
        out += "null";
        break;
      case Value::Type::Bool:
        out += *value.asBool() ? "true" : "false";
        break;
      case Value::Type::Integer:
        out += std::to_string(*value.asInteger());
        break;
      case Value::Type::Real:
        writeReal(*value.asReal());
        break;
      case Value::Type::String:
        writeString(*value.asString());
        break;
      case Value::Type::Data:
        if (options_.tagged) {
          out += "{\"$data\":";
          writeString(base64StringFromData(*value.asData()));
          out += '}';
        } else {
          writeString(base64StringFromData(*value.asData()));
        }
        break;
      case Value::Type::Date:
        if (options_.tagged) {
          out += "{\"$date\":";
          writeReal(value.asDate()->secondsSince1970);
          out += '}';
        } else {
          writeString(formatISO8601(*value.asDate()));
        }
        break;
      case Value::Type::Array:
        writeArray(*value.asArray(), depth);
        break;
      case Value::Type::Dictionary:
        writeDictionary(*value.asDictionary(), depth);
        break;
    }
  }

  std::string out;

 private:
  void newline(int depth) {
    if (!options_.pretty) return;
    out += '\n';
    out.append(static_cast<size_t>(depth) * 2, ' ');
  }

  void writeReal(double value) {
    if (!std::isfinite(value) && options_.tagged) {
      out += "{\"$real\":\"";
      out += std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
      out += "\"}";
      return;
    }
    appendJsonReal(out, value);
  }

  void writeString(std::string_view text) { appendJsonString(out, text); }

  void writeArray(const Array& members, int depth) {
    out += '[';
    bool first = true;
    for (const auto& member : members) {
      if (!first) out += ',';
      first = false;
      newline(depth + 1);
      write(member, depth + 1);
    }
    if (!members.empty()) newline(depth);
    out += ']';
  }

  void writeDictionary(const Dictionary& dictionary, int depth) {
    const bool wrap = options_.tagged && looksTagged(dictionary);
    if (wrap) out += "{\"$dict\":";
    out += '{';
    bool first = true;
    for (const auto& [key, member] : dictionary) {
      if (!first) out += ',';
      first = false;
      newline(depth + 1);
      writeString(key);
      out += options_.pretty ? ": " : ":";
      write(member, depth + 1);
    }
    if (!dictionary.empty()) newline(depth);
    out += '}';
    if (wrap) out += '}';
  }

  static bool looksTagged(const Dictionary& dictionary) {
    return dictionary.size() == 1 && !dictionary.begin()->first.empty() &&
           dictionary.begin()->first.front() == '$';
  }

  JsonOptions options_;
};

}  // namespace

void appendJsonReal(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  out += text;
  // Keep a real a real when it is read back.
  if (text.find_first_of(".eE") == std::string_view::npos) out += ".0";
}

void appendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string repaired;
  std::string_view chosen = text;
  if (!isValidUtf8(text)) {
    repaired = replaceInvalidUtf8(text);
    chosen = repaired;
  }
  out += '"';
  for (char c : chosen) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += kHex[(c >> 4) & 15];
          out += kHex[c & 15];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

Result<Value> parseJson(std::string_view text, bool tagged) {
  ValueBuilder builder;
  bool accepted = false;
  try {
    accepted = nlohmann::json::sax_parse(text, &builder);
  } catch (const std::exception& problem) {
    return Error(kParseErrorDomain, 1, std::string("malformed JSON: ") + problem.what());
  }
  if (!accepted) {
    return Error(kParseErrorDomain, 1, builder.error.empty() ? "malformed JSON" : builder.error);
  }
  if (tagged) return untag(std::move(builder.result));
  return std::move(builder.result);
}

std::string toJson(const Value& value, JsonOptions options) {
  Writer writer(options);
  writer.write(value, 0);
  return std::move(writer.out);
}

Bytes archiveValue(const Value& value) {
  const std::string text = toJson(value, JsonOptions{false, true});
  return Bytes(text.begin(), text.end());
}

Result<Value> unarchiveValue(const Bytes& blob) {
  return parseJson(std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()), true);
}

}  // namespace mr
