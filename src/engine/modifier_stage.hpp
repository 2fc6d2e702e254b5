// Post-processing of a path's matches by its modifiers (|@sort, |@count, ...).
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {
class Entities;
}

namespace quorbix::engine {

// A match's text: a scalar's own, or an element's, read out of `document`
// (what ElementRange matches point into) in `encoding`, with the `entities`
// it declares.
std::string match_text(const EngineMatch& match, std::string_view document, xml::Encoding encoding,
                       const xml::Entities* entities);

// The sum, mean, minimum or maximum of the numbers among matches' texts,
// folded one text at a time: the modifiers do it on a list, the scan as the
// matches arrive when the path's first modifier asks for one of them.
class NumberFold {
  public:
    // Adds the text's number, if it is one.
    void add(const std::string& text);
    // Adds the number of a match's text (match_text's arguments).
    void add(const EngineMatch& match, std::string_view document, xml::Encoding encoding,
             const xml::Entities* entities);
    // `sum`, `mean`, `min` or `max` of what was added, as a modifier's text.
    std::string result(path::Modifier modifier) const;

  private:
    double sum_ = -0.0;
    double low_ = std::numeric_limits<double>::infinity();
    double high_ = -std::numeric_limits<double>::infinity();
    std::size_t count_ = 0;
};

// Whether `modifier` is one that NumberFold folds.
inline bool folds_numbers(path::Modifier modifier) {
    return modifier == path::Modifier::Sum || modifier == path::Modifier::Mean ||
           modifier == path::Modifier::Min || modifier == path::Modifier::Max;
}

// Applies the modifiers in the order written, each to the output of the one
// before. `document` is what ElementRange matches point into; element texts
// are read in `encoding`, with the `entities` it declares.
void apply_modifiers(std::span<const path::Modifier> modifiers, Matches& matches,
                     std::string_view document, xml::Encoding encoding,
                     const xml::Entities* entities);

}  // namespace quorbix::engine
