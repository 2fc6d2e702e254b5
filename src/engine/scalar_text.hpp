// How the text of a match reads as a number, a boolean or a typed value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorbix::engine {

// to_int: invalid UTF-8 reads as empty; trimmed; empty gives 0; an integer as
// it is; else a number truncated toward zero and held to the 64-bit range
// (NaN and anything else give 0).
std::int64_t text_to_int(std::string_view text);

// to_float: invalid UTF-8 reads as empty; trimmed; a number, else 0.0.
double text_to_double(std::string_view text);

// to_bool's fixed texts ("1", "true", "\"T\"", ... and their false twins),
// compared untrimmed; nothing for any other text.
std::optional<bool> boolean_text(std::string_view text);

enum class ScalarType { Int, Float, Str };

// The type an already trimmed text reads as: an integer, a number, a string.
ScalarType classify_scalar(std::string_view trimmed);

}  // namespace quorbix::engine
