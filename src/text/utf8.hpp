// Reading UTF-8 text one code point at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorbix::text {

// Whether every byte of `bytes` is below 0x80.
bool is_ascii(std::string_view bytes);

// Whether `bytes` is well-formed UTF-8 (no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// How many bytes of a well-formed sequence stand at `s[i]` (0 to 4), and
// whether the sequence is complete: where it is not, those bytes are the
// maximal subpart that one U+FFFD replaces. An ASCII byte counts as one.
std::size_t utf8_valid_prefix(std::string_view s, std::size_t i, bool& complete);

// Decodes the well-formed code point that starts at `s[i]`, sets `cp` and
// returns its length in bytes (1 to 4), or returns 0 when the bytes there are
// not a well-formed sequence.
std::size_t decode_code_point(std::string_view s, std::size_t i, std::uint32_t& cp);

// The length of the code point that ends at `s[end - 1]`, decoded into `cp`,
// or 0 when the bytes there are not a well-formed sequence.
std::size_t decode_last_code_point(std::string_view s, std::size_t end, std::uint32_t& cp);

}  // namespace quorbix::text
