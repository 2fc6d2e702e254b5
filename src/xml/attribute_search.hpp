// Finding one attribute of a start tag by its name. A question names one
// attribute of tags that may have many, so the tag's bytes are searched for
// the name instead of reading the attributes in turn.
#pragma once

#include <optional>
#include <string_view>

#include "xml/encoding/encoding.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::xml {

// The raw value (between its quotes) of the attribute of `tag` that `name`
// names: the first well-formed attribute whose whole name is `name`, else,
// for a `name` without ':', the first whose local name is. Names are
// compared as UTF-8, read from `encoding`. Nothing when there is none.
std::optional<std::string_view> find_attribute(const XmlEvent& tag, std::string_view name,
                                               Encoding encoding);

// The same answer, found by reading the attributes in turn and decoding each
// name: what the search falls back to where it cannot compare bytes, or
// cannot be sure of reading a malformed list as the attributes are read.
std::optional<std::string_view> find_attribute_in_order(const XmlEvent& tag, std::string_view name,
                                                        Encoding encoding);

}  // namespace quorbix::xml
