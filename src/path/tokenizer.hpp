// The first stage of compilation: a path text cut into its body and modifier
// pieces, and a body read into tokens. The tokenizer knows nothing of what a
// filter says: it hands each over as its text, for the parser to compile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "path/path_error.hpp"

namespace quorbix::path {

struct PathToken {
    enum class Kind { Name, Index, Each, Attribute, Text, Filter, Recursive };
    Kind kind = Kind::Name;
    std::string name;   // Name: exact name or pattern; Attribute: the name
    bool glob = false;  // Name: a pattern with wildcards
    std::uint64_t index = 0;
    std::string_view filter_text;  // Filter: what stands between `#(` and its `)`
    bool all_matches = false;      // Filter written #(...)#
};

// The tokens of a body as far as it reads, and what stopped it there: its
// first error, or nothing.
struct Tokens {
    std::vector<PathToken> tokens;
    std::optional<PathError> error;
};

// Cuts the text at every `|` outside parentheses and quoted regions.
std::variant<std::vector<std::string_view>, PathError> cut_top_level(std::string_view text);

// Reads a body into tokens, up to its first error.
Tokens tokenize(std::string_view body);

}  // namespace quorbix::path
