// Whether a byte string is a document the system accepts.
#pragma once

#include <string_view>

namespace quorbix::engine {

// True for a document the reader reads without error, whose end tags match
// their start tags, and which has exactly one root element. Never fails:
// every problem is the answer false.
bool validate_document(std::string_view document);

}  // namespace quorbix::engine
