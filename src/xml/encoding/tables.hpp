// Index tables of the legacy text encodings, generated at build time from
// data/whatwg-encoding by tools/gen_encoding_tables.py. A stored 0 means the
// pointer has no code point.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix::xml::tables {

struct LabelEntry {
    const char* label;
    std::uint8_t encoding;  // an `Encoding` value
};

extern const char* const encoding_names[40];
extern const LabelEntry labels[];  // sorted by label
extern const std::size_t label_count;

extern const std::uint16_t single_byte[28][128];  // by `Encoding` minus IBM866
extern const std::uint16_t gb18030[23940];
extern const std::uint32_t gb18030_ranges[];  // (pointer offset, code point) pairs
extern const std::size_t gb18030_range_count;
extern const std::uint32_t big5[19782];
extern const std::uint16_t jis0208[11104];
extern const std::uint16_t jis0212[7211];
extern const std::uint16_t euc_kr[23750];

}  // namespace quorbix::xml::tables
