// Entity and character references in text and attribute values.
#pragma once

#include <string>
#include <string_view>

namespace quorbix::xml {

// Appends `text` to `out` with the five predefined entities and decimal
// (&#N;) and hexadecimal (&#xN;) character references resolved. Any other
// reference (&nbsp; with no DTD to declare it, &#0;) and an '&' that starts
// none stay exactly as written: nothing the document says is dropped.
void append_unescaped(std::string_view text, std::string& out);

// The same as a view: `text` itself, with no copy, when it holds no '&';
// otherwise the resolved text in `scratch`.
std::string_view unescape_text(std::string_view text, std::string& scratch);

}  // namespace quorbix::xml
