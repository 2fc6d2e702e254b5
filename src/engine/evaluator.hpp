// The single-path streaming evaluator: one compiled path over one document,
// in one forward pass, with no tree.
#pragma once

#include <string_view>

#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

// The matches of `path` in `document`, in document order, after the path's
// modifiers; or AmbiguousPath. The document's text is in `encoding` (what its
// start says, `xml::read_document_start`, unless the caller knows better). In
// range mode elements with an end tag are reported as byte ranges of
// `document`; otherwise every element is copied.
EvalOutcome evaluate_path(std::string_view document, xml::Encoding encoding,
                          const path::CompiledPath& path, bool range_mode);

}  // namespace quorbix::engine
