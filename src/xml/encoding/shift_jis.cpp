#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

constexpr std::uint32_t jis0208_size = sizeof(tables::jis0208) / sizeof(tables::jis0208[0]);

}  // namespace

bool shift_jis(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b <= 0x80) {  // 0x5C and 0x7E stay themselves, 0x80 is U+0080
            append_utf8(out, b);
            ++i;
            continue;
        }
        if (in(b, 0xA1, 0xDF)) {  // half-width katakana
            append_utf8(out, 0xFF61 + (b - 0xA1));
            ++i;
            continue;
        }
        if ((!in(b, 0x81, 0x9F) && !in(b, 0xE0, 0xFC)) || i + 1 == n) return false;
        unsigned char trail = p[i + 1];
        if (!in(trail, 0x40, 0x7E) && !in(trail, 0x80, 0xFC)) return false;
        unsigned offset = trail < 0x7F ? 0x40 : 0x41;
        unsigned lead_offset = b < 0xA0 ? 0x81 : 0xC1;
        std::uint32_t pointer = (b - lead_offset) * 188 + (trail - offset);
        std::uint32_t cp = 0;
        if (pointer >= 8836 && pointer <= 10715)
            cp = 0xE000 + (pointer - 8836);  // user-defined area maps to private use
        else if (pointer < jis0208_size)
            cp = tables::jis0208[pointer];
        if (cp == 0) return false;
        append_utf8(out, cp);
        i += 2;
    }
    return true;
}

}  // namespace quorbix::xml::decoders
