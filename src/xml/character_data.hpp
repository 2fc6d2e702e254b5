// What a document's text says, as UTF-8. Its bytes are decoded from the
// document's encoding (bytes that do not decode become U+FFFD), its line ends
// read as LF (CR LF and a lone CR alike), and its references are resolved.
// Each stage copies only when it has something to change, so UTF-8 text
// without CR or '&' goes from the document to its destination in one copy.
#pragma once

#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

class Entities;

// Text between markup, appended to `out`; given `entities`, the general
// entities the document declares are read in place of their references.
void append_character_data(std::string_view raw, Encoding encoding, std::string& out,
                           const Entities* entities = nullptr);

// An attribute value, appended to `out`: read as text is, but each line end,
// tab and line feed written in it reads as one space, as XML normalizes a
// value it knows no type for; the characters references name are kept. The
// white space an entity's replacement text holds reads as spaces too.
void append_attribute_value(std::string_view raw, Encoding encoding, std::string& out,
                            const Entities* entities = nullptr);

// Whether text between markup, or an attribute value, reads as it stands in
// UTF-8: plain ASCII without a reference or what line ends and white space
// would change. Then `raw` itself is what the two above append.
bool text_as_written(std::string_view raw);
bool value_as_written(std::string_view raw);

// A CDATA section: decoded, line ends read as LF, never unescaped.
void append_cdata(std::string_view raw, Encoding encoding, std::string& out);

// Bytes of the document in UTF-8: `raw` itself when it already is (valid
// UTF-8, or ASCII in an encoding that extends it), else decoded into
// `scratch`. Whole elements are read this way.
std::string_view utf8_text(std::string_view raw, Encoding encoding, std::string& scratch);

// An element or attribute name in UTF-8, read as `utf8_text` reads text but
// for one encoding: the reader found the markup of a document in the
// replacement encoding by its ASCII bytes, so its ASCII names are themselves
// (its text reads as U+FFFD).
std::string_view utf8_name(std::string_view raw, Encoding encoding, std::string& scratch);

// Whether `text` holds U+FFFD, which undecodable bytes read as: only a name
// that holds it can equal a name whose bytes are not UTF-8.
inline bool holds_replacement_character(std::string_view text) {
    return text.find("\xEF\xBF\xBD") != std::string_view::npos;
}

// `text` with CR LF and lone CR as LF: itself when it holds no CR, else the
// rewritten text in `scratch`.
std::string_view lf_line_ends(std::string_view text, std::string& scratch);

}  // namespace quorbix::xml
