#include <iterator>

#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {

void euc_jp(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if ((lead != 0x8E && lead != 0x8F && !in(lead, 0xA1, 0xFE)) || i + 1 == n)
                return malformed(out, 1);
            unsigned char second = p[i + 1];
            std::uint32_t cp = 0;
            if (lead == 0x8E && in(second, 0xA1, 0xDF)) {  // half-width katakana
                append_utf8(out, 0xFF61 + (second - 0xA1));
                return 2;
            }
            if (lead == 0x8F && in(second, 0xA1, 0xFE)) {  // JIS X 0212, three bytes
                if (i + 2 == n) return malformed(out, 2);
                unsigned char third = p[i + 2];
                // The index ends before the last rows: pointers past it have
                // no code point.
                std::size_t pointer = (second - 0xA1) * 94 + (third - 0xA1);
                if (in(third, 0xA1, 0xFE) && pointer < std::size(tables::jis0212))
                    cp = tables::jis0212[pointer];
                if (cp == 0) return bad_trail(out, 3, third);
                append_utf8(out, cp);
                return 3;
            }
            if (in(lead, 0xA1, 0xFE) && in(second, 0xA1, 0xFE))  // JIS X 0208
                cp = tables::jis0208[(lead - 0xA1) * 94 + (second - 0xA1)];
            if (cp == 0) return bad_trail(out, 2, second);
            append_utf8(out, cp);
            return 2;
        });
}

}  // namespace quorbix::xml::decoders
