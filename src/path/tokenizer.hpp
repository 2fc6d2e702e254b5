// The first stage of compilation: a path text cut into its body and modifier
// pieces, and a body read into tokens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "path/compiled_path.hpp"
#include "path/path_error.hpp"

namespace quorbix::path {

struct PathToken {
    enum class Kind { Name, Index, Each, Attribute, Text, Filter, Recursive };
    Kind kind = Kind::Name;
    std::string name;   // Name: exact name or pattern; Attribute: the name
    bool glob = false;  // Name: a pattern with wildcards
    std::uint64_t index = 0;
    std::shared_ptr<const FilterExpr> filter;
    bool all_matches = false;  // Filter written #(...)#
};

// Cuts the text at every `|` outside parentheses and quoted regions.
std::variant<std::vector<std::string_view>, PathError> cut_top_level(std::string_view text);

// Reads a body into tokens; filters are compiled as soon as they close, so
// errors come out in text order. `filter_depth` counts the filters around it.
std::variant<std::vector<PathToken>, PathError> tokenize(std::string_view body, int filter_depth);

}  // namespace quorbix::path
