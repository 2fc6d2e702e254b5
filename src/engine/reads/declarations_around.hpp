// The namespace declarations in scope around an element of a document, found
// by walking the document's tags up to it: for a query by namespace relative
// to an element that a scan without one found, and so kept no scope of.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

// The declarations of the elements open around the element that starts at
// `offset` of `document`, as start-tag attributes (xml::NamespaceScope).
std::string declarations_around(std::string_view document, std::uint64_t offset,
                                xml::Encoding encoding);

}  // namespace quorbix::engine
