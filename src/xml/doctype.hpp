// Where a DOCTYPE ends. Its internal subset is read by XML's grammar, so that
// a "]>" inside a comment, a processing instruction or a quoted literal of a
// declaration ends nothing: what a subset holds is never read as the
// document's elements. The reader reads every DOCTYPE through here, and the
// tag walker and validation read DOCTYPEs through the reader.
#pragma once

#include <string_view>

namespace quorbix::xml {

// Past one piece of markup of an internal subset, from its '<': a comment,
// a processing instruction, or a markup declaration, which ends at its
// first '>' outside quoted literals. Nullptr when the input ends first.
const char* past_subset_markup(const char* lt, const char* end);

// The '>' that ends a DOCTYPE whose content (after the keyword) starts at `p`,
// or nullptr when the input ends first.
const char* find_doctype_end(const char* p, const char* end);

// Whether a DOCTYPE's content, as the reader reports it, names no root
// element: nothing, or a subset with no name before it.
bool doctype_names_no_root(std::string_view content);

}  // namespace quorbix::xml
