// The base of the typed views over the service's JSON answers.
//
// A document keeps its own deep copy of the dictionary it was made from, so
// later changes to the parsed answer never reach it. Made from anything but a
// dictionary it has no dictionary at all, and every getter yields its default.
// Getters never fail and never change the dictionary: they read through the
// forgiving typed getters of Value (numeric strings count as numbers, null
// counts as missing, a member of the wrong kind gives the default). Nested
// documents are made afresh on each call.
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Date.h"
#include "base/Value.h"

namespace mr {

class MRDocument {
 public:
  // An empty dictionary.
  MRDocument() : document_(Value::dictionary()) {}
  explicit MRDocument(const Value& dictionary)
      : document_(dictionary.isDictionary() ? dictionary : Value()) {}
  explicit MRDocument(Value&& dictionary)
      : document_(dictionary.isDictionary() ? std::move(dictionary) : Value()) {}

  MRDocument(const MRDocument&) = default;
  MRDocument(MRDocument&&) noexcept = default;
  MRDocument& operator=(const MRDocument&) = default;
  MRDocument& operator=(MRDocument&&) noexcept = default;
  virtual ~MRDocument() = default;

  // The member dictionary, or a null value when the document has none.
  const Value& document() const { return document_; }
  bool hasDictionary() const { return document_.isDictionary(); }

 protected:
  // A date from a 32-bit count of seconds; the epoch when the member is missing.
  Date dateFromIntForKey(std::string_view key) const {
    return Date::fromSecondsSince1970(document_.intForKey(key, 0));
  }

  // The dictionary members of the array under `key`, in order; nullopt when
  // the member is not an array.
  template <class D>
  std::optional<std::vector<D>> documentsForKey(std::string_view key) const {
    const Array* members = document_.arrayForKey(key);
    if (members == nullptr) return std::nullopt;
    std::vector<D> documents;
    documents.reserve(members->size());
    for (const Value& member : *members) {
      if (member.isDictionary()) documents.emplace_back(member);
    }
    return documents;
  }

  // Every member of the array under `key`, in order: a member that is not a
  // dictionary becomes a document without one, so positions are kept.
  template <class D>
  std::optional<std::vector<D>> documentsWrappingEveryMemberForKey(std::string_view key) const {
    const Array* members = document_.arrayForKey(key);
    if (members == nullptr) return std::nullopt;
    std::vector<D> documents;
    documents.reserve(members->size());
    for (const Value& member : *members)
      documents.emplace_back(member);
    return documents;
  }

  Value document_;
};

}  // namespace mr
