// The text a table's cell holds for one match: what `to_str()` of a Result
// of that match gives.
#pragma once

#include <string>
#include <string_view>

#include "engine/engine_match.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {
class Entities;
}

namespace quorbix::engine {

// A text trimmed of white space, an element with elements inside as its
// markup in UTF-8, another element's text trimmed. `bytes` are those
// range-mode matches point into; the text may live in `scratch`. Texts read
// the `entities` their document declares.
std::string_view cell_text(const EngineMatch& match, std::string_view bytes, xml::Encoding encoding,
                           std::string& scratch, const xml::Entities* entities);

// The text of a leaf, an element with nothing but text between its tags
// (`raw`, as written), trimmed; it may live in `scratch`.
std::string_view leaf_cell_text(std::string_view raw, xml::Encoding encoding, std::string& scratch,
                                const xml::Entities* entities);

}  // namespace quorbix::engine
