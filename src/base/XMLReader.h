// XML to a dictionary tree, by the rules the web-service models rely on:
//  - each element becomes a dictionary of its attributes (as strings), stored
//    in its parent under the element's name;
//  - a name that occurs again under the same parent turns that entry into a
//    list, in document order;
//  - character data goes into one buffer for the whole document; when an
//    element ends and the buffer is not empty, the buffer becomes the
//    element's "text" and is emptied (so readers trim what they read).
// Documents that declare entities are refused, and nothing external is ever
// loaded.
#pragma once

#include <string_view>

#include "base/Error.h"
#include "base/Value.h"

namespace mr {

class XMLReader {
 public:
  static Result<Value> dictionaryForXMLString(std::string_view text);
  static Result<Value> dictionaryForXMLData(const Bytes& data) {
    return dictionaryForXMLString(
        std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  }
};

}  // namespace mr
