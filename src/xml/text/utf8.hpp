// Reading UTF-8 text one code point at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorbix::xml {

// Decodes the well-formed code point that starts at `s[i]`, sets `cp` and
// returns its length in bytes (1 to 4), or returns 0 when the bytes there are
// not a well-formed sequence.
std::size_t decode_code_point(std::string_view s, std::size_t i, std::uint32_t& cp);

// The length of the code point that ends at `s[end - 1]`, decoded into `cp`,
// or 0 when the bytes there are not a well-formed sequence.
std::size_t decode_last_code_point(std::string_view s, std::size_t end, std::uint32_t& cp);

// Where the first maximal ill-formed subsequence starts, and how long it is:
// the number of leading well-formed bytes and the length (1 to 3) of the
// longest prefix of a valid sequence found there. `incomplete` when the text
// ends inside such a prefix.
struct Utf8Fault {
    std::size_t index = 0;
    std::size_t length = 0;
    bool incomplete = false;
};
bool find_utf8_fault(std::string_view s, Utf8Fault& fault);

}  // namespace quorbix::xml
