#include "base/PlistReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Json.h"
#include "base/StringAdditions.h"

namespace mr {
namespace {

constexpr size_t kProgressStep = size_t{4} << 20;

// Bytes that need more than a copy inside character data: markup, line-end
// normalisation, control characters and anything outside ASCII.
constexpr std::array<bool, 256> kSpecialText = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c)
    table[c] = c != '\t' && c != '\n';
  for (int c = 0x80; c < 0x100; ++c)
    table[c] = true;
  table['&'] = true;
  table['<'] = true;
  return table;
}();

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

constexpr std::array<bool, 256> kNameChar = [] {
  std::array<bool, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c)
    table[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c)
    table[c] = true;
  for (int c = '0'; c <= '9'; ++c)
    table[c] = true;
  for (unsigned char c : {'_', ':', '-', '.'})
    table[c] = true;
  for (int c = 0x80; c < 0x100; ++c)
    table[c] = true;
  return table;
}();

bool isNameChar(char c) {
  return kNameChar[static_cast<unsigned char>(c)];
}

// The plist elements, told apart without string comparisons on the hot path.
enum class Element { Dict, Array, String, Key, Integer, Real, True, False, Date, Data, Other };

Element classify(std::string_view name) {
  switch (name.size()) {
    case 3:
      if (name == "key") return Element::Key;
      break;
    case 4:
      if (name == "dict") return Element::Dict;
      if (name == "true") return Element::True;
      if (name == "date") return Element::Date;
      if (name == "data") return Element::Data;
      if (name == "real") return Element::Real;
      break;
    case 5:
      if (name == "array") return Element::Array;
      if (name == "false") return Element::False;
      break;
    case 6:
      if (name == "string") return Element::String;
      break;
    case 7:
      if (name == "integer") return Element::Integer;
      break;
    default:
      break;
  }
  return Element::Other;
}

bool isXmlChar(uint32_t code) {
  return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
         (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// Length of the well-formed UTF-8 sequence at `p`, or 0.
size_t utf8Length(const char* p, const char* end) {
  const auto c = static_cast<unsigned char>(*p);
  size_t length = 0;
  if (c >= 0xC2 && c <= 0xDF)
    length = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    length = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    length = 4;
  else
    return 0;
  if (static_cast<size_t>(end - p) < length) return 0;
  return isValidUtf8(std::string_view(p, length)) ? length : 0;
}

// The parser's view of the document: a window of bytes that a file moves
// forward in blocks. It moves only when the parser asks (advance), at points
// where the parser holds no pointer into it.
class Input {
 public:
  virtual ~Input() = default;
  // Drops the bytes before `keep` (inside the window) and reads more after
  // them; `begin` then points at what was at `keep`.
  virtual Status advance(const char* keep) = 0;
  // Line and column (from 1) of a document offset, if they can be found.
  virtual std::optional<std::pair<size_t, size_t>> locate(size_t offset) = 0;

  const char* begin = nullptr;
  const char* end = nullptr;
  size_t offset = 0;  // of `begin` in the document
  bool last = true;   // the window reaches the document's end
  size_t total = 0;   // the document's size
};

// Moves a line count and a column (both from 0) past `text`.
void countLines(std::string_view text, size_t& lines, size_t& column) {
  for (size_t from = 0;;) {
    const size_t newline = text.find('\n', from);
    if (newline == std::string_view::npos) {
      column += text.size() - from;
      return;
    }
    ++lines;
    column = 0;
    from = newline + 1;
  }
}

class StringInput final : public Input {
 public:
  explicit StringInput(std::string_view document) {
    begin = document.data();
    end = document.data() + document.size();
    total = document.size();
  }
  Status advance(const char*) override { return {}; }
  std::optional<std::pair<size_t, size_t>> locate(size_t at) override {
    size_t lines = 0;
    size_t column = 0;
    countLines(std::string_view(begin, std::min(at, total)), lines, column);
    return std::make_pair(lines + 1, column + 1);
  }
};

class Parser {
 public:
  Parser(Input& input, const PlistReadOptions& options)
      : input_(input),
        begin_(input.begin),
        p_(input.begin),
        end_(input.end),
        options_(options),
        block_(std::max<size_t>(options.blockBytes, 64)),
        nextProgress_(kProgressStep) {
    for (const auto& stream : options_.streams)
      maxStreamDepth_ = std::max(maxStreamDepth_, stream.path.size());
  }

  Result<Value> run() {
    Value root;
    if (parseDocument(root)) return root;
    if (!errorOffset_) return error_;
    // Located only now: finding the line means reading from the start.
    std::string where;
    if (const auto lineAndColumn = input_.locate(*errorOffset_)) {
      where = "line " + std::to_string(lineAndColumn->first) + ", column " +
              std::to_string(lineAndColumn->second);
    } else {
      where = "byte " + std::to_string(*errorOffset_ + 1);
    }
    return Error(kParseErrorDomain, 3,
                 "malformed property list at " + where + ": " + error_.description());
  }

 private:
  struct Tag {
    std::string_view name;
    bool closing = false;
    bool selfClosing = false;
  };

  // ------------------------------------------------------------- errors

  bool fail(const char* at, const std::string& message) { return failAt(at, message, true); }

  bool failAt(const char* at, const std::string& message, bool mayBeCut) {
    if (failed_) return false;
    failed_ = true;
    errorOffset_ = offsetOf(at);
    // Every step starts with a block ahead of it, so one that failed at the
    // window's end ran out of room rather than into bad markup.
    if (mayBeCut && !input_.last && static_cast<size_t>(end_ - p_) < kLongestMarkup) {
      error_ = Error(kParseErrorDomain, 3,
                     "a value, tag or comment longer than " + std::to_string(block_) + " bytes");
    } else {
      error_ = Error(kParseErrorDomain, 3, message);
    }
    return false;
  }

  // An error that is not about the markup (reading the file, a callback).
  bool failWith(Error error) {
    if (failed_) return false;
    failed_ = true;
    error_ = std::move(error);
    return false;
  }

  size_t offsetOf(const char* at) const { return input_.offset + static_cast<size_t>(at - begin_); }

  // Called where nothing points into the window: makes sure a block lies
  // ahead, or the rest of the document.
  bool ensureAhead() {
    if (input_.last || static_cast<size_t>(end_ - p_) >= block_) return true;
    if (Status moved = input_.advance(p_); !moved.ok()) return failWith(moved.error());
    begin_ = input_.begin;
    p_ = input_.begin;
    end_ = input_.end;
    return true;
  }

  // A piece of the input for an error message: long ones are cut.
  static std::string excerpt(std::string_view text) {
    constexpr size_t kLongest = 64;
    if (text.size() <= kLongest) return std::string(text);
    size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
      --cut;  // not inside a UTF-8 sequence
    return std::string(text.substr(0, cut)) + "...";
  }

  // Fixed prefixes only, so the comparison compiles to a few instructions.
  template <size_t N>
  bool startsWith(const char (&prefix)[N]) const {
    return static_cast<size_t>(end_ - p_) >= N - 1 && std::memcmp(p_, prefix, N - 1) == 0;
  }

  // Moves past `terminator`; fails when it never comes.
  bool skipPast(std::string_view terminator, const char* what) {
    const char* start = p_;
    const std::string_view rest(p_, static_cast<size_t>(end_ - p_));
    const size_t found = rest.find(terminator);
    if (found == std::string_view::npos) {
      p_ = end_;
      return fail(start, std::string("unterminated ") + what);
    }
    p_ += found + terminator.size();
    return true;
  }

  void skipSpace() {
    while (p_ < end_ && isSpace(*p_))
      ++p_;
  }

  // White space, comments and processing instructions, however many. Called
  // only where nothing points into the window: it moves it, and leaves a
  // block ahead.
  bool skipMisc() {
    for (;;) {
      if (!ensureAhead()) return false;
      skipSpace();
      if (!input_.last && static_cast<size_t>(end_ - p_) < kLongestMarkup) continue;
      if (end_ - p_ < 2 || p_[0] != '<' || (p_[1] != '!' && p_[1] != '?')) return ensureAhead();
      if (startsWith("<!--")) {
        p_ += 4;
        if (!skipPast("-->", "comment")) return false;
      } else if (startsWith("<?")) {
        p_ += 2;
        if (!skipPast("?>", "processing instruction")) return false;
      } else {
        return true;
      }
    }
  }

  // ------------------------------------------------------------- prolog

  bool parseDocument(Value& root) {
    if (!ensureAhead()) return false;
    if (startsWith("\xEF\xBB\xBF")) p_ += 3;
    if (startsWith("\xFE\xFF") || startsWith("\xFF\xFE")) {
      return fail(p_, "UTF-16 documents are not supported");
    }
    if (startsWith("<?xml") && p_ + 5 < end_ && isSpace(p_[5])) {
      if (!parseDeclaration()) return false;
    }
    for (;;) {
      if (!skipMisc()) return false;
      if (!startsWith("<!DOCTYPE")) break;
      if (!skipDoctype()) return false;
    }
    if (p_ >= end_) return fail(p_, "no <plist> element");
    if (*p_ != '<') return fail(p_, "the document is not a property list");
    Tag tag;
    const char* at = p_;
    if (!readTag(tag)) return false;
    if (tag.closing || tag.name != "plist") return fail(at, "the document is not a property list");
    if (!tag.selfClosing) {
      if (!skipMisc()) return false;
      if (!startsWith("</")) {
        Tag valueTag;
        const char* valueAt = p_;
        if (!readTag(valueTag)) return false;
        if (valueTag.closing) return fail(valueAt, "unexpected end tag");
        if (!parseValue(valueTag, valueAt, root, 1)) return false;
        if (!skipMisc()) return false;
      }
      if (!expectEndTag("plist")) return false;
    }
    if (!skipMisc()) return false;
    if (p_ != end_) return fail(p_, "content after the end of the property list");
    return true;
  }

  bool parseDeclaration() {
    const char* start = p_;
    if (!skipPast("?>", "XML declaration")) return false;
    const std::string_view declaration(start, static_cast<size_t>(p_ - start));
    const size_t encoding = declaration.find("encoding");
    if (encoding == std::string_view::npos) return true;
    size_t quote = declaration.find_first_of("\"'", encoding);
    if (quote == std::string_view::npos) return fail(start, "malformed XML declaration");
    const size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string_view::npos) return fail(start, "malformed XML declaration");
    std::string name(declaration.substr(quote + 1, close - quote - 1));
    for (char& c : name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "utf-8" && name != "utf8" && name != "us-ascii") {
      return fail(start, "unsupported encoding \"" + excerpt(name) + "\"");
    }
    return true;
  }

  // <!DOCTYPE ...> is skipped; an internal subset may not declare entities.
  bool skipDoctype() {
    const char* start = p_;
    p_ += 9;
    char quote = 0;
    while (p_ < end_) {
      const char c = *p_;
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        const char* subset = p_;
        const std::string_view rest(p_, static_cast<size_t>(end_ - p_));
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) {
          p_ = end_;
          return fail(start, "unterminated DOCTYPE");
        }
        if (rest.substr(0, close).find("<!ENTITY") != std::string_view::npos) {
          return fail(subset, "entity declarations are not allowed");
        }
        p_ += close;
      } else if (c == '>') {
        ++p_;
        return true;
      }
      ++p_;
    }
    return fail(start, "unterminated DOCTYPE");
  }

  // ------------------------------------------------------------- tags

  bool readTag(Tag& tag) {
    const char* start = p_;
    ++p_;  // '<'
    tag = Tag{};
    if (p_ < end_ && *p_ == '/') {
      tag.closing = true;
      ++p_;
    }
    const char* nameStart = p_;
    while (p_ < end_ && isNameChar(*p_))
      ++p_;
    if (p_ == nameStart) return fail(start, "malformed tag");
    tag.name = std::string_view(nameStart, static_cast<size_t>(p_ - nameStart));
    if (p_ < end_ && *p_ == '>') {  // the usual case: no attributes, no space
      ++p_;
      return true;
    }
    for (;;) {
      skipSpace();
      if (p_ >= end_) return fail(start, "unterminated tag");
      if (*p_ == '>') {
        ++p_;
        return true;
      }
      if (*p_ == '/' && !tag.closing && p_ + 1 < end_ && p_[1] == '>') {
        p_ += 2;
        tag.selfClosing = true;
        return true;
      }
      if (tag.closing) return fail(start, "malformed end tag");
      // An attribute: name = "value". Only <plist version="1.0"> has one.
      const char* attributeStart = p_;
      while (p_ < end_ && isNameChar(*p_))
        ++p_;
      if (p_ == attributeStart) return fail(p_, "malformed attribute");
      skipSpace();
      if (p_ >= end_ || *p_ != '=') return fail(p_, "malformed attribute");
      ++p_;
      skipSpace();
      if (p_ >= end_ || (*p_ != '"' && *p_ != '\'')) return fail(p_, "malformed attribute");
      const char quote = *p_++;
      while (p_ < end_ && *p_ != quote) {
        if (*p_ == '<') return fail(p_, "\"<\" in an attribute value");
        ++p_;
      }
      if (p_ >= end_) return fail(attributeStart, "unterminated attribute value");
      ++p_;
    }
  }

  bool expectEndTag(std::string_view name) {
    // The usual case, "</name>" exactly, without reading a whole tag.
    const size_t length = name.size();
    if (static_cast<size_t>(end_ - p_) >= length + 3 && p_[0] == '<' && p_[1] == '/' &&
        p_[length + 2] == '>' && std::equal(name.begin(), name.end(), p_ + 2)) {
      p_ += length + 3;
      return true;
    }
    const char* at = p_;
    if (!startsWith("</")) return fail(at, "expected </" + std::string(name) + ">");
    Tag tag;
    if (!readTag(tag)) return false;
    if (tag.name != name) {
      return fail(at, "</" + excerpt(tag.name) + "> does not close <" + std::string(name) + ">");
    }
    return true;
  }

  // ------------------------------------------------------------- values

  bool parseValue(const Tag& tag, const char* at, Value& out, int depth) {
    if (depth > kMaxNesting) return fail(at, "property list nested too deeply");
    const std::string_view name = tag.name;
    const Element kind = classify(name);
    switch (kind) {
      case Element::Dict:
        if (tag.selfClosing) {
          out = Value::dictionary();
          return true;
        }
        return parseDict(out, depth);
      case Element::Array:
        if (tag.selfClosing) {
          out = Value::array();
          return true;
        }
        return parseArray(out, depth);
      case Element::String: {
        std::string text;
        if (!tag.selfClosing && !readText(text, name)) return false;
        out = Value(std::move(text));
        return true;
      }
      case Element::True:
      case Element::False:
        if (!tag.selfClosing) {
          scratch_.clear();
          if (!readText(scratch_, name)) return false;
          if (!trimWhitespace(scratch_).empty())
            return fail(at, "<" + std::string(name) + "> holds text");
        }
        out = Value(kind == Element::True);
        return true;
      case Element::Integer:
      case Element::Real:
      case Element::Date:
      case Element::Data: {
        scratch_.clear();
        if (!tag.selfClosing && !readText(scratch_, name)) return false;
        const std::string_view text =
            kind == Element::Data ? std::string_view(scratch_) : trimWhitespace(scratch_);
        if (kind == Element::Integer) return parseInteger(text, at, out);
        if (kind == Element::Real) return parseReal(text, at, out);
        if (kind == Element::Date) {
          const auto date = parseISO8601(text);
          if (!date) return fail(at, "malformed date \"" + excerpt(text) + "\"");
          out = Value(*date);
          return true;
        }
        auto bytes = decodeBase64(text);
        if (!bytes) return fail(at, "malformed Base64 data");
        out = Value(std::move(*bytes));
        return true;
      }
      case Element::Key:
        return fail(at, "<key> outside a dictionary");
      case Element::Other:
        break;
    }
    return fail(at, "unknown element <" + excerpt(name) + ">");
  }

  bool parseInteger(std::string_view text, const char* at, Value& out) {
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
      negative = digits.front() == '-';
      digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      base = 16;
      digits.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    const auto result =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
      return fail(at, "malformed integer \"" + excerpt(text) + "\"");
    }
    if (negative) {
      if (magnitude > uint64_t{1} << 63) return fail(at, "integer out of range");
      out = Value(static_cast<int64_t>(0 - magnitude));
    } else if (magnitude > static_cast<uint64_t>(INT64_MAX)) {
      out = Value(static_cast<double>(magnitude));  // beyond 64-bit signed: kept as a real
    } else {
      out = Value(static_cast<int64_t>(magnitude));
    }
    return true;
  }

  bool parseReal(std::string_view text, const char* at, Value& out) {
    std::string_view literal = text;
    if (!literal.empty() && literal.front() == '+') literal.remove_prefix(1);
    double value = 0;
    const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (literal.empty() || result.ptr != literal.data() + literal.size() ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range)) {
      return fail(at, "malformed real \"" + excerpt(text) + "\"");
    }
    out = Value(value);
    return true;
  }

  // The streams whose container is the one at the current path.
  const PlistStream* streamHere() const {
    if (path_.empty() || path_.size() > maxStreamDepth_) return nullptr;
    for (const auto& stream : options_.streams) {
      if (stream.path.size() != path_.size()) continue;
      bool same = true;
      for (size_t i = 0; i < path_.size() && same; ++i) {
        same = path_[i] != nullptr && *path_[i] == stream.path[i];
      }
      if (same) return &stream;
    }
    return nullptr;
  }

  void reportProgress() {
    if (!options_.onProgress) return;
    const size_t done = offsetOf(p_);
    if (done < nextProgress_) return;
    nextProgress_ = done + kProgressStep;
    options_.onProgress(done, input_.total);
  }

  bool deliver(const PlistStream& stream, std::string key, Value value) {
    Status status = stream.onMember(std::move(key), std::move(value));
    if (status.ok()) return true;
    return failWith(status.error());
  }

  bool parseDict(Value& out, int depth) {
    const PlistStream* stream = streamHere();
    const std::vector<std::string>* keep = projection_;
    projection_ = nullptr;  // for this dictionary only, not the ones inside it
    std::vector<Dictionary::Entry>& entries = scratchEntries(depth);
    entries.clear();
    // Which key hashes were seen: a key whose bit is clear is new, so the
    // scan for a duplicate runs only on a (rare) hit.
    std::array<uint64_t, 4> seen{};
    std::optional<Dictionary> large;  // past a few dozen keys, the dictionary's own index
    for (;;) {
      bool ended = false;
      if (!nextMember("dict", ended)) return false;
      if (ended) break;
      const char* keyAt = p_;
      Tag keyTag;
      if (!readTag(keyTag)) return false;
      if (keyTag.name != "key")
        return fail(keyAt, "expected <key> in <dict>, found <" + excerpt(keyTag.name) + ">");
      std::string key;
      if (!keyTag.selfClosing && !readText(key, "key")) return false;
      if (!skipMisc()) return false;
      const char* valueAt = p_;
      if (p_ >= end_ || *p_ != '<' || startsWith("</"))
        return fail(valueAt, "<key> without a value");
      Tag valueTag;
      if (!readTag(valueTag)) return false;
      if (keep != nullptr && std::find(keep->begin(), keep->end(), key) == keep->end()) {
        if (!skipValue(valueTag, valueAt, depth + 1)) return false;
        continue;
      }
      Value value;
      path_.push_back(&key);
      if (stream != nullptr && !stream->memberKeys.empty()) projection_ = &stream->memberKeys;
      const bool parsed = parseValue(valueTag, valueAt, value, depth + 1);
      projection_ = nullptr;
      path_.pop_back();
      if (!parsed) return false;
      if (stream != nullptr) {
        if (!deliver(*stream, std::move(key), std::move(value))) return false;
      } else if (large) {
        large->set(std::move(key), std::move(value));
      } else {
        addEntry(entries, seen, std::move(key), std::move(value));
        if (entries.size() >= kLargeDictionary) {
          large = Dictionary::fromUniqueEntries(takeAll(entries));
        }
      }
      reportProgress();
    }
    out = Value(large ? std::move(*large) : Dictionary::fromUniqueEntries(takeAll(entries)));
    return true;
  }

  // Reads a value that nobody keeps: its text is checked, not collected.
  bool skipValue(const Tag& tag, const char* at, int depth) {
    if (tag.selfClosing && classify(tag.name) != Element::Other) return true;
    switch (classify(tag.name)) {
      case Element::Dict:
      case Element::Array: {
        Value ignored;
        return parseValue(tag, at, ignored, depth);
      }
      case Element::Other:
      case Element::Key: {
        Value ignored;
        return parseValue(tag, at, ignored, depth);  // reports the error
      }
      default:
        discard_.clear();
        return readText(discard_, tag.name);
    }
  }

  // Moves to the next member of a container, or past its end tag (`ended`).
  bool nextMember(std::string_view container, bool& ended) {
    if (!skipMisc()) return false;
    if (p_ >= end_) return fail(p_, "unterminated <" + std::string(container) + ">");
    if (*p_ != '<') return fail(p_, "text inside <" + std::string(container) + ">");
    ended = startsWith("</");
    return !ended || expectEndTag(container);
  }

  static constexpr size_t kLargeDictionary = 48;

  // The members moved into a vector of their exact size; `from` is emptied.
  template <class T>
  static std::vector<T> takeAll(std::vector<T>& from) {
    std::vector<T> exact(std::make_move_iterator(from.begin()),
                         std::make_move_iterator(from.end()));
    from.clear();
    return exact;
  }

  // A later duplicate key replaces the earlier value, as a dictionary would.
  static void addEntry(std::vector<Dictionary::Entry>& entries, std::array<uint64_t, 4>& seen,
                       std::string key, Value value) {
    // A cheap mix of length and three characters spreads the usual keys well.
    const size_t bit =
        key.empty() ? 0
                    : (key.size() * 131 + size_t{static_cast<unsigned char>(key.front())} * 31 +
                       size_t{static_cast<unsigned char>(key[key.size() / 2])} * 7 +
                       static_cast<unsigned char>(key.back())) &
                          255;
    uint64_t& word = seen[bit >> 6];
    const uint64_t mask = uint64_t{1} << (bit & 63);
    if ((word & mask) != 0) {
      for (auto& entry : entries) {
        if (entry.first == key) {
          entry.second = std::move(value);
          return;
        }
      }
    }
    word |= mask;
    entries.emplace_back(std::move(key), std::move(value));
  }

  // Sized for the deepest nesting up front: callers hold these references
  // while deeper levels take theirs.
  std::vector<Dictionary::Entry>& scratchEntries(int depth) { return entryScratch_.at(depth); }
  std::vector<Value>& scratchValues(int depth) { return valueScratch_.at(depth); }

  bool parseArray(Value& out, int depth) {
    const PlistStream* stream = streamHere();
    std::vector<Value>& members = scratchValues(depth);
    members.clear();
    for (;;) {
      bool ended = false;
      if (!nextMember("array", ended)) return false;
      if (ended) break;
      const char* valueAt = p_;
      Tag valueTag;
      if (!readTag(valueTag)) return false;
      Value value;
      path_.push_back(nullptr);
      if (stream != nullptr && !stream->memberKeys.empty()) projection_ = &stream->memberKeys;
      const bool parsed = parseValue(valueTag, valueAt, value, depth + 1);
      projection_ = nullptr;
      path_.pop_back();
      if (!parsed) return false;
      if (stream != nullptr) {
        if (!deliver(*stream, std::string(), std::move(value))) return false;
      } else {
        members.push_back(std::move(value));
      }
      reportProgress();
    }
    out = Value(takeAll(members));
    return true;
  }

  // ------------------------------------------------------------- text

  // Character data up to the end tag `name`, with entities, CDATA sections
  // and comments, appended to `out`.
  bool readText(std::string& out, std::string_view name) {
    const char* textStart = p_;
    // Most texts are plain and end at their end tag: one pass finds that.
    const char* q = p_;
    while (q < end_ && !kSpecialText[static_cast<unsigned char>(*q)])
      ++q;
    if (q + 1 < end_ && q[0] == '<' && q[1] == '/') {
      if (static_cast<size_t>(q - p_) > options_.maxTextBytes) return failTooLong(textStart, name);
      out.append(p_, static_cast<size_t>(q - p_));
      p_ = q;
      return expectEndTag(name);
    }
    for (;;) {
      const auto* lt =
          static_cast<const char*>(std::memchr(p_, '<', static_cast<size_t>(end_ - p_)));
      if (lt == nullptr) {
        if (static_cast<size_t>(end_ - textStart) > options_.maxTextBytes)
          return failTooLong(textStart, name);
        p_ = end_;
        return fail(textStart, "unterminated <" + std::string(name) + ">");
      }
      if (!appendText(out, lt)) return false;
      if (out.size() > options_.maxTextBytes) return failTooLong(textStart, name);
      p_ = lt;
      if (startsWith("</")) return expectEndTag(name);
      if (startsWith("<!--")) {
        p_ += 4;
        if (!skipPast("-->", "comment")) return false;
      } else if (startsWith("<![CDATA[")) {
        p_ += 9;
        const char* start = p_;
        if (!skipPast("]]>", "CDATA section")) return false;
        const char* stop = p_ - 3;
        const char* saved = p_;
        p_ = start;
        if (!appendRaw(out, stop)) return false;
        if (out.size() > options_.maxTextBytes) return failTooLong(textStart, name);
        p_ = saved;
      } else if (startsWith("<?")) {
        p_ += 2;
        if (!skipPast("?>", "processing instruction")) return false;
      } else {
        return fail(p_, "element inside <" + std::string(name) + ">");
      }
    }
  }

  // Names the element, and the key whose value it is, of a text over the limit.
  bool failTooLong(const char* at, std::string_view name) {
    std::string what = "<" + std::string(name) + ">";
    if (name != "key" && !path_.empty() && path_.back() != nullptr) {
      what += " of key \"" + excerpt(*path_.back()) + "\"";
    }
    return failAt(at, what + " longer than " + std::to_string(options_.maxTextBytes) + " bytes",
                  false);
  }

  // Appends [p_, stop) decoding entities; p_ ends at stop.
  bool appendText(std::string& out, const char* stop) {
    const char* run = p_;
    while (p_ < stop) {
      if (!kSpecialText[static_cast<unsigned char>(*p_)]) {
        ++p_;
        continue;
      }
      out.append(run, static_cast<size_t>(p_ - run));
      if (*p_ == '&') {
        if (!appendEntity(out, stop)) return false;
      } else if (!appendSpecial(out, stop)) {
        return false;
      }
      run = p_;
    }
    out.append(run, static_cast<size_t>(p_ - run));
    return true;
  }

  // Appends [p_, stop) of a CDATA section: no entities, the rest checked.
  bool appendRaw(std::string& out, const char* stop) {
    const char* run = p_;
    while (p_ < stop) {
      if (!kSpecialText[static_cast<unsigned char>(*p_)] || *p_ == '&' || *p_ == '<') {
        ++p_;
        continue;
      }
      out.append(run, static_cast<size_t>(p_ - run));
      if (!appendSpecial(out, stop)) return false;
      run = p_;
    }
    out.append(run, static_cast<size_t>(p_ - run));
    return true;
  }

  // A carriage return, a control character or a non-ASCII sequence at p_.
  bool appendSpecial(std::string& out, const char* stop) {
    const char c = *p_;
    if (c == '\r') {
      out += '\n';
      ++p_;
      if (p_ < stop && *p_ == '\n') ++p_;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) return fail(p_, "control character in text");
    const size_t length = utf8Length(p_, stop);
    if (length == 0) return fail(p_, "invalid UTF-8");
    if (length == 3 && static_cast<unsigned char>(p_[0]) == 0xEF &&
        static_cast<unsigned char>(p_[1]) == 0xBF &&
        (static_cast<unsigned char>(p_[2]) == 0xBE || static_cast<unsigned char>(p_[2]) == 0xBF)) {
      return fail(p_, "character not allowed in XML");
    }
    out.append(p_, length);
    p_ += length;
    return true;
  }

  bool appendEntity(std::string& out, const char* stop) {
    const char* start = p_;
    const auto* semicolon = static_cast<const char*>(
        std::memchr(p_, ';', static_cast<size_t>(std::min<ptrdiff_t>(stop - p_, 16))));
    if (semicolon == nullptr) return fail(start, "malformed entity reference");
    const std::string_view entity(p_ + 1, static_cast<size_t>(semicolon - p_ - 1));
    p_ = semicolon + 1;
    if (entity == "amp")
      out += '&';
    else if (entity == "lt")
      out += '<';
    else if (entity == "gt")
      out += '>';
    else if (entity == "quot")
      out += '"';
    else if (entity == "apos")
      out += '\'';
    else if (!entity.empty() && entity.front() == '#') {
      std::string_view digits = entity.substr(1);
      int base = 10;
      if (!digits.empty() && digits.front() == 'x') {
        base = 16;
        digits.remove_prefix(1);
      }
      uint32_t code = 0;
      const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
      if (digits.empty() || result.ec != std::errc() ||
          result.ptr != digits.data() + digits.size() || !isXmlChar(code)) {
        return fail(start, "invalid character reference &" + std::string(entity) + ";");
      }
      appendUtf8(out, code);
    } else {
      return fail(start, "undefined entity &" + std::string(entity) + ";");
    }
    return true;
  }

  // A tag, entity or end tag is shorter than this: a failure this close to
  // the end of a window that is not the last one ran out of room.
  static constexpr size_t kLongestMarkup = 32;

  Input& input_;
  const char* begin_;  // the window
  const char* p_;
  const char* end_;
  const PlistReadOptions& options_;
  const size_t block_;
  size_t nextProgress_;
  size_t maxStreamDepth_ = 0;
  std::vector<const std::string*> path_;  // nullptr for array members
  std::string scratch_;
  std::string discard_;
  const std::vector<std::string>* projection_ = nullptr;  // keys kept in the next dictionary
  // Per nesting depth, reused, so each container is allocated once at its size.
  std::vector<std::vector<Dictionary::Entry>> entryScratch_{kMaxNesting + 2};
  std::vector<std::vector<Value>> valueScratch_{kMaxNesting + 2};
  bool failed_ = false;
  Error error_;
  std::optional<size_t> errorOffset_;  // where a markup error is
};

// A regular file read in blocks. Nothing is mapped, so a file cut short
// while it is read gives an error rather than a signal.
class FileInput final : public Input {
 public:
  FileInput(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~FileInput() override { ::close(fd_); }
  FileInput(const FileInput&) = delete;
  FileInput& operator=(const FileInput&) = delete;

  // Two blocks at most, and no more than the file needs (one byte over its
  // size shows a file that grows).
  void start(size_t fileSize, size_t block) {
    total = fileSize;
    last = false;
    capacity_ = std::min(2 * block, fileSize + 1);
    buffer_.reset(new char[capacity_]);
    begin = buffer_.get();
    end = begin;
  }

  Status advance(const char* keep) override {
    const auto kept = static_cast<size_t>(end - keep);
    offset += static_cast<size_t>(keep - begin);
    if (kept > 0 && keep != buffer_.get()) std::memmove(buffer_.get(), keep, kept);
    size_t filled = kept;
    while (filled < capacity_ && !last) {
      const ssize_t count = ::read(fd_, buffer_.get() + filled, capacity_ - filled);
      if (count < 0) {
        if (errno == EINTR) continue;
        return posixError(errno, "cannot read " + path_);
      }
      if (count == 0) {
        last = true;
      } else {
        filled += static_cast<size_t>(count);
        read_ += static_cast<size_t>(count);
      }
    }
    begin = buffer_.get();
    end = begin + filled;
    if (read_ > total) return changed("it grew past " + std::to_string(total) + " bytes");
    if (last && read_ < total) {
      return changed("it ended after " + std::to_string(read_) + " of " + std::to_string(total) +
                     " bytes");
    }
    return {};
  }

  std::optional<std::pair<size_t, size_t>> locate(size_t at) override {
    std::vector<char> chunk(size_t{1} << 16);
    size_t lines = 0;
    size_t column = 0;
    for (size_t done = 0; done < at;) {
      const ssize_t count =
          ::pread(fd_, chunk.data(), std::min(chunk.size(), at - done), static_cast<off_t>(done));
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return std::nullopt;
      countLines(std::string_view(chunk.data(), static_cast<size_t>(count)), lines, column);
      done += static_cast<size_t>(count);
    }
    return std::make_pair(lines + 1, column + 1);
  }

  Error changed(const std::string& how) {
    changed_ = true;
    return Error(kPosixErrorDomain, EAGAIN,
                 path_ + " changed while it was read" + (how.empty() ? "" : ": " + how));
  }
  bool reportedChange() const { return changed_; }

 private:
  const int fd_;
  const std::string path_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  size_t read_ = 0;
  bool changed_ = false;
};

const char* kindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

bool sameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

Result<Value> PlistReader::readString(std::string_view document, const PlistReadOptions& options) {
  StringInput input(document);
  return Parser(input, options).run();
}

Result<Value> PlistReader::readFile(const std::string& path, const PlistReadOptions& options) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer; the kind of
  // file is known only once it is open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return posixError(errno, "cannot open " + path);
  FileInput input(fd, path);
  struct stat before {};
  if (::fstat(fd, &before) != 0) return posixError(errno, "cannot read " + path);
  if (!S_ISREG(before.st_mode)) {
    return Error(kPosixErrorDomain, EINVAL,
                 path + " is not a regular file (" + kindOfFile(before.st_mode) + ")");
  }
  if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0) {
    (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  input.start(static_cast<size_t>(before.st_size), std::max<size_t>(options.blockBytes, 64));
  Result<Value> result = [&]() -> Result<Value> {
    if (Status filled = input.advance(input.begin); !filled.ok()) return filled.error();
    return Parser(input, options).run();
  }();
  if (input.reportedChange()) return result;
  // Rewritten in place at the same size shows only in the times.
  struct stat after {};
  if (::fstat(fd, &after) != 0) return posixError(errno, "cannot read " + path);
  if (after.st_size != before.st_size || !sameTime(after.st_mtim, before.st_mtim)) {
    return input.changed("");
  }
  return result;
}

}  // namespace mr
