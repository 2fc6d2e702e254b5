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
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
        } else if (b == 0x80) {
            append_utf8(out, 0x20AC);
            ++i;
        } else if (b == 0xFF || i + 1 == n) {
            return false;
        } else if (in(p[i + 1], 0x30, 0x39)) {
            if (i + 3 >= n || !in(p[i + 2], 0x81, 0xFE) || !in(p[i + 3], 0x30, 0x39)) return false;
            std::uint32_t pointer = (b - 0x81) * 12600 + (p[i + 1] - 0x30) * 1260 +
                                    (p[i + 2] - 0x81) * 10 + (p[i + 3] - 0x30);
            std::uint32_t cp = ranges_code_point(pointer);
            if (cp == 0) return false;
            append_utf8(out, cp);
            i += 4;
        } else {
            unsigned char trail = p[i + 1];
            if (!in(trail, 0x40, 0x7E) && !in(trail, 0x80, 0xFE)) return false;
            unsigned offset = trail < 0x7F ? 0x40 : 0x41;
            std::uint32_t cp = tables::gb18030[(b - 0x81) * 190 + (trail - offset)];
            if (cp == 0) return false;
            append_utf8(out, cp);
            i += 2;
        }
    }
    return true;
}

}  // namespace quorbix::xml::decoders
