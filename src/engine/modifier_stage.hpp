// Post-processing of a path's matches by its modifiers (|@sort, |@count, ...).
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

// Applies the modifiers in the order written, each to the output of the one
// before. `document` is what ElementRange matches point into; element texts
// are read in `encoding`.
void apply_modifiers(std::span<const path::Modifier> modifiers, Matches& matches,
                     std::string_view document, xml::Encoding encoding);

}  // namespace quorbix::engine
