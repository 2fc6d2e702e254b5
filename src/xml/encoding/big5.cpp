#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

// The four pointers that decode to a letter and a combining mark; they are
// not in the index.
bool append_pair(std::uint32_t pointer, std::string& out) {
    std::uint32_t base, mark;
    switch (pointer) {
        case 1133:
            base = 0x00CA, mark = 0x0304;
            break;
        case 1135:
            base = 0x00CA, mark = 0x030C;
            break;
        case 1164:
            base = 0x00EA, mark = 0x0304;
            break;
        case 1166:
            base = 0x00EA, mark = 0x030C;
            break;
        default:
            return false;
    }
    append_utf8(out, base);
    append_utf8(out, mark);
    return true;
}

}  // namespace

void big5(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (!in(lead, 0x81, 0xFE) || i + 1 == n) return malformed(out, 1);
            unsigned char trail = p[i + 1];
            if (in(trail, 0x40, 0x7E) || in(trail, 0xA1, 0xFE)) {
                unsigned offset = trail < 0x7F ? 0x40 : 0x62;
                std::uint32_t pointer = (lead - 0x81) * 157 + (trail - offset);
                if (append_pair(pointer, out)) return 2;
                std::uint32_t cp = tables::big5[pointer];
                if (cp != 0) {
                    append_utf8(out, cp);
                    return 2;
                }
            }
            return bad_trail(out, 2, trail);
        });
}

}  // namespace quorbix::xml::decoders
