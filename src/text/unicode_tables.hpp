// Unicode properties the literal quoting needs, as sorted inclusive ranges
// generated from Unicode's data files by tools/gen_unicode_tables.py.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix::text::unicode {

struct CodePointRange {
    std::uint32_t first, last;
};

// General category Cc, Cf, Cs, Co, Cn, Zl, Zp, or Zs other than U+0020.
extern const CodePointRange non_printable[];
extern const std::size_t non_printable_count;
// The Grapheme_Extend property: combining marks and their kin.
extern const CodePointRange grapheme_extend[];
extern const std::size_t grapheme_extend_count;

bool is_non_printable(std::uint32_t cp);
bool is_grapheme_extend(std::uint32_t cp);

}  // namespace quorbix::text::unicode
