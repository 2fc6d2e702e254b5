#include "text/quote_literal.hpp"

#include <algorithm>
#include <cstdio>

#include "text/unicode_tables.hpp"
#include "text/utf8.hpp"

namespace quorbix::text {
namespace unicode {
namespace {

bool in_ranges(const CodePointRange* ranges, std::size_t count, std::uint32_t cp) {
    const CodePointRange* end = ranges + count;
    const CodePointRange* it = std::upper_bound(
        ranges, end, cp, [](std::uint32_t c, const CodePointRange& r) { return c < r.first; });
    return it != ranges && cp <= (it - 1)->last;
}

}  // namespace

bool is_non_printable(std::uint32_t cp) {
    return in_ranges(non_printable, non_printable_count, cp);
}

bool is_grapheme_extend(std::uint32_t cp) {
    return in_ranges(grapheme_extend, grapheme_extend_count, cp);
}

}  // namespace unicode

std::string quote_literal(std::string_view utf8) {
    std::string out = "\"";
    out.reserve(utf8.size() + 2);
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0xFFFD;
        std::size_t length = decode_code_point(utf8, i, cp);
        std::string_view raw = utf8.substr(i, length);
        i += length > 0 ? length : 1;
        switch (cp) {
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            case '\t':
                out += "\\t";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\0':
                out += "\\0";
                continue;
            default:
                break;
        }
        if (length == 0 || unicode::is_non_printable(cp) || unicode::is_grapheme_extend(cp)) {
            char escape[16];
            int n = std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(cp));
            out.append(escape, static_cast<std::size_t>(n));
        } else {
            out += raw;
        }
    }
    out += '"';
    return out;
}

}  // namespace quorbix::text
