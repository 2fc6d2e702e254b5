// Entity and character references in text and attribute values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xml/entities.hpp"

namespace quorbix::xml {

// Appends `text` to `out` with the five predefined entities and decimal
// (&#N;) and hexadecimal (&#xN;) character references resolved, and, given
// `entities`, the general entities its document declares, read as they are
// `in` text or an attribute value. Any other reference (&nbsp; with no DTD
// to declare it, &#0;, one `entities` will not expand) and an '&' that
// starts none stay exactly as written: nothing the document says is dropped.
void append_unescaped(std::string_view text, std::string& out, const Entities* entities = nullptr,
                      ReferenceIn in = ReferenceIn::Text);

// The same as a view: `text` itself, with no copy, when it holds no '&';
// otherwise the resolved text in `scratch`.
std::string_view unescape_text(std::string_view text, std::string& scratch);

// A character reference at `p`, just past its "&#": the code point it names
// in `cp` and the byte past its ';', or nullptr when it names none (&#0;, a
// surrogate, past U+10FFFF, no ';').
const char* read_character_reference(const char* p, const char* end, std::uint32_t& cp);

// One of the five predefined entities at `p`, just past its '&': its
// character in `c` and the byte past its ';', or nullptr.
const char* read_predefined_entity(const char* p, const char* end, char& c);

}  // namespace quorbix::xml
