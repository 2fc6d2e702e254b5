#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

constexpr std::uint32_t jis0208_size = sizeof(tables::jis0208) / sizeof(tables::jis0208[0]);

}  // namespace

void shift_jis(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (lead == 0x80) {  // U+0080, like the ASCII bytes below it
                append_utf8(out, lead);
                return 1;
            }
            if (in(lead, 0xA1, 0xDF)) {  // half-width katakana
                append_utf8(out, 0xFF61 + (lead - 0xA1));
                return 1;
            }
            if ((!in(lead, 0x81, 0x9F) && !in(lead, 0xE0, 0xFC)) || i + 1 == n)
                return malformed(out, 1);
            unsigned char trail = p[i + 1];
            if (in(trail, 0x40, 0x7E) || in(trail, 0x80, 0xFC)) {
                unsigned offset = trail < 0x7F ? 0x40 : 0x41;
                unsigned lead_offset = lead < 0xA0 ? 0x81 : 0xC1;
                std::uint32_t pointer = (lead - lead_offset) * 188 + (trail - offset);
                std::uint32_t cp = 0;
                if (pointer >= 8836 && pointer <= 10715)
                    cp = 0xE000 + (pointer - 8836);  // user-defined area maps to private use
                else if (pointer < jis0208_size)
                    cp = tables::jis0208[pointer];
                if (cp != 0) {
                    append_utf8(out, cp);
                    return 2;
                }
            }
            return bad_trail(out, 2, trail);
        });
}

}  // namespace quorbix::xml::decoders
