// One flag byte per input byte, so that every test in the scan loops is a
// load and an AND.
#pragma once

#include <array>
#include <cstdint>

namespace quorbix::xml {

enum CharClass : std::uint8_t {
    kSpace = 1,      // space, tab, line feed, carriage return
    kTagEnd = 2,     // '>'
    kQuote = 4,      // '"' or '\''
    kNameStop = 8,   // ends a tag name: white space, '>', quotes
};

inline constexpr std::array<std::uint8_t, 256> char_classes = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\r'}) table[c] |= kSpace | kNameStop;
    table['>'] |= kTagEnd | kNameStop;
    table['"'] |= kQuote | kNameStop;
    table['\''] |= kQuote | kNameStop;
    return table;
}();

inline bool has_class(char c, std::uint8_t flags) {
    return (char_classes[static_cast<unsigned char>(c)] & flags) != 0;
}

inline bool is_space(char c) { return has_class(c, kSpace); }

}  // namespace quorbix::xml
