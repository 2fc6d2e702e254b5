// Name patterns: `*` matches any run of code points, `?` any one, and a
// backslash makes the next code point literal. Matching is case-sensitive.
#pragma once

#include <string>
#include <string_view>

namespace quorbix::path {

// Whether `pattern` matches the whole of `subject`.
bool glob_match(std::string_view pattern, std::string_view subject);

// Whether `text` holds a `*` or `?` that no backslash escapes.
bool has_unescaped_wildcard(std::string_view text);

// `text` with each backslash escape `\x` replaced by `x`; a lone backslash at
// the end is dropped.
std::string remove_escapes(std::string_view text);

}  // namespace quorbix::path
