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

bool gb18030(std::string_view text, std::string& out) {
    return decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (lead == 0x80) {
                append_utf8(out, 0x20AC);
                return 1;
            }
            if (lead == 0xFF || i + 1 == n) return 0;
            std::uint32_t cp;
            std::size_t used;
            if (in(p[i + 1], 0x30, 0x39)) {  // four bytes
                if (i + 3 >= n || !in(p[i + 2], 0x81, 0xFE) || !in(p[i + 3], 0x30, 0x39)) return 0;
                std::uint32_t pointer = (lead - 0x81) * 12600 + (p[i + 1] - 0x30) * 1260 +
                                        (p[i + 2] - 0x81) * 10 + (p[i + 3] - 0x30);
                cp = ranges_code_point(pointer);
                used = 4;
            } else {
                unsigned char trail = p[i + 1];
                if (!in(trail, 0x40, 0x7E) && !in(trail, 0x80, 0xFE)) return 0;
                unsigned offset = trail < 0x7F ? 0x40 : 0x41;
                cp = tables::gb18030[(lead - 0x81) * 190 + (trail - offset)];
                used = 2;
            }
            if (cp == 0) return 0;
            append_utf8(out, cp);
            return used;
        });
}

}  // namespace quorbix::xml::decoders
