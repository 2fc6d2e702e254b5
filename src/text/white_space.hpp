// Unicode white space, as every trimming in the system understands it.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorbix::text {

// The White_Space property: U+0009-U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
bool is_white_space(std::uint32_t cp);

// `text` without leading and trailing white space. Trimming stops at bytes
// that are not well-formed UTF-8.
std::string_view trim_white_space(std::string_view text);

}  // namespace quorbix::text
