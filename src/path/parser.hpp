// The path compiler: path text in, compiled path or error message out.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"
#include "path/path_error.hpp"

namespace quorbix::path {

// Compiles a whole path text: the body, then `|@modifier` pieces. On failure
// the result is the finished error message. With `namespaces`, prefixes
// name namespaces by the mapping's URIs.
std::variant<CompiledPathRef, std::string> compile_path(std::string_view text,
                                                        const NamespaceMap* namespaces = nullptr);

// Compiles a body without modifiers (a filter's left side). A text of dots
// alone gives no steps. `filter_depth` counts the filters around the body.
std::variant<std::vector<PathStep>, PathError> parse_steps(std::string_view text,
                                                           int filter_depth = 0);

}  // namespace quorbix::path
