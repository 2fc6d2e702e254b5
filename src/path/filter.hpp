// Filters: `#(lhs op value)` after an element name keeps the elements whose
// left-side text compares true with the value.
#pragma once

#include <memory>
#include <string_view>
#include <variant>

#include "path/compiled_path.hpp"
#include "path/path_error.hpp"

namespace quorbix::path {

// Compiles the text between `#(` and its `)`. `depth` is the number of
// filters this one stands in, the outermost being 1.
std::variant<std::shared_ptr<const FilterExpr>, PathError> compile_filter(std::string_view text,
                                                                          int depth = 1);

// Whether the candidate's text (UTF-8) satisfies `op value`.
bool filter_compare(std::string_view text, FilterOp op, const FilterValue& value);

}  // namespace quorbix::path
