#include "base/XMLReader.h"

#include <expat.h>

#include <climits>
#include <string>
#include <vector>

#include "base/Json.h"

namespace mr {
namespace {

struct Reader {
  XML_Parser parser = nullptr;
  std::vector<Dictionary> stack;  // the root document, then each open element
  std::vector<std::string> names;
  std::string text;
  std::string refusal;

  void stop(std::string why) {
    if (refusal.empty()) refusal = std::move(why);
    XML_StopParser(parser, XML_FALSE);
  }

  static void start(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* self = static_cast<Reader*>(data);
    if (self->stack.size() > static_cast<size_t>(kMaxNesting)) {
      self->stop("XML nested too deeply");
      return;
    }
    Dictionary element;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
      element.set(attributes[i], Value(attributes[i + 1]));
    }
    self->stack.push_back(std::move(element));
    self->names.emplace_back(name);
  }

  static void end(void* data, const XML_Char*) {
    auto* self = static_cast<Reader*>(data);
    Dictionary element = std::move(self->stack.back());
    self->stack.pop_back();
    std::string name = std::move(self->names.back());
    self->names.pop_back();
    if (!self->text.empty()) {
      element.set("text", Value(std::move(self->text)));
      self->text.clear();
    }
    Dictionary& parent = self->stack.back();
    if (Value* existing = parent.find(name)) {
      if (Array* list = existing->asArray()) {
        list->emplace_back(std::move(element));
      } else {
        Array pair;
        pair.push_back(std::move(*existing));
        pair.emplace_back(std::move(element));
        *existing = Value(std::move(pair));
      }
    } else {
      parent.set(std::move(name), Value(std::move(element)));
    }
  }

  static void characters(void* data, const XML_Char* chars, int length) {
    static_cast<Reader*>(data)->text.append(chars, static_cast<size_t>(length));
  }

  static void entityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                const XML_Char*, const XML_Char*, const XML_Char*,
                                const XML_Char*) {
    static_cast<Reader*>(data)->stop("XML entity declarations are not allowed");
  }

  static void skippedEntity(void* data, const XML_Char* name, int) {
    static_cast<Reader*>(data)->stop(std::string("undefined XML entity \"") + name + "\"");
  }
};

}  // namespace

Result<Value> XMLReader::dictionaryForXMLString(std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    return Error(kParseErrorDomain, 2, "XML document too large");
  }
  Reader reader;
  reader.parser = XML_ParserCreate("UTF-8");
  if (reader.parser == nullptr) return Error(kParseErrorDomain, 2, "out of memory");
  reader.stack.emplace_back();
  XML_SetUserData(reader.parser, &reader);
  XML_SetElementHandler(reader.parser, Reader::start, Reader::end);
  XML_SetCharacterDataHandler(reader.parser, Reader::characters);
  XML_SetEntityDeclHandler(reader.parser, Reader::entityDeclaration);
  XML_SetSkippedEntityHandler(reader.parser, Reader::skippedEntity);
  XML_SetParamEntityParsing(reader.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  const XML_Status status =
      XML_Parse(reader.parser, text.data(), static_cast<int>(text.size()), XML_TRUE);
  Result<Value> result = Value();
  if (status != XML_STATUS_OK || !reader.refusal.empty()) {
    const auto line = XML_GetCurrentLineNumber(reader.parser);
    const auto column = XML_GetCurrentColumnNumber(reader.parser);
    const std::string why =
        !reader.refusal.empty() ? reader.refusal : XML_ErrorString(XML_GetErrorCode(reader.parser));
    result = Error(kParseErrorDomain, 2,
                   "malformed XML at line " + std::to_string(line) + ", column " +
                       std::to_string(column + 1) + ": " + why);
  } else {
    result = Value(std::move(reader.stack.front()));
  }
  XML_ParserFree(reader.parser);
  return result;
}

}  // namespace mr
