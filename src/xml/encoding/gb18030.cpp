#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

// The code point of a four-byte pointer, or 0 where the ranges give none.
std::uint32_t ranges_code_point(std::uint32_t pointer) {
    if ((pointer > 39419 && pointer < 189000) || pointer > 1237575) return 0;
    if (pointer == 7457) return 0xE7C7;
    // The last range entry whose pointer offset is not above `pointer`.
    std::size_t lo = 0, hi = tables::gb18030_range_count;
    while (hi - lo > 1) {
        std::size_t mid = (lo + hi) / 2;
        if (tables::gb18030_ranges[2 * mid] <= pointer)
            lo = mid;
        else
            hi = mid;
    }
    return tables::gb18030_ranges[2 * lo + 1] + (pointer - tables::gb18030_ranges[2 * lo]);
}

}  // namespace

void gb18030(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (lead == 0x80) {
                append_utf8(out, 0x20AC);
                return 1;
            }
            if (lead == 0xFF || i + 1 == n) return malformed(out, 1);
            unsigned char second = p[i + 1];
            if (in(second, 0x30, 0x39)) {  // four bytes
                // A wrong third or fourth byte takes only the lead: the bytes
                // after it are read again.
                if (i + 2 == n) return malformed(out, 2);
                if (!in(p[i + 2], 0x81, 0xFE)) return malformed(out, 1);
                if (i + 3 == n) return malformed(out, 3);
                if (!in(p[i + 3], 0x30, 0x39)) return malformed(out, 1);
                std::uint32_t pointer = (lead - 0x81) * 12600 + (second - 0x30) * 1260 +
                                        (p[i + 2] - 0x81) * 10 + (p[i + 3] - 0x30);
                std::uint32_t cp = ranges_code_point(pointer);
                if (cp == 0) return malformed(out, 4);
                append_utf8(out, cp);
                return 4;
            }
            if (in(second, 0x40, 0x7E) || in(second, 0x80, 0xFE)) {
                unsigned offset = second < 0x7F ? 0x40 : 0x41;
                std::uint32_t cp = tables::gb18030[(lead - 0x81) * 190 + (second - offset)];
                if (cp != 0) {
                    append_utf8(out, cp);
                    return 2;
                }
            }
            return bad_trail(out, 2, second);
        });
}

}  // namespace quorbix::xml::decoders
