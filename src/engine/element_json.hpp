// An element as JSON, in the shape xmltodict and xq give it: an element with
// neither attributes nor child elements is its text (null when it has none);
// any other is an object of its attributes ("@name"), its children by name
// (a list where a name repeats, at the place of its first child) and its text
// ("#text", when there is any). Texts are trimmed of white space at either end,
// as those tools trim them; names stay as written, prefixes included.
#pragma once

#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {
class Entities;
}

namespace quorbix::engine {

// The JSON text of the first element in `element` (bytes in `encoding`, of a
// document that declares `entities`), built and written without recursion,
// however deep the element.
std::string element_json(std::string_view element, xml::Encoding encoding,
                         const xml::Entities* entities);

// Appends `utf8` to `out` as a JSON string, quotes included.
void append_json_string(std::string& out, std::string_view utf8);

}  // namespace quorbix::engine
