#include <iterator>

#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {

bool euc_jp(std::string_view text, std::string& out) {
    return decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (i + 1 == n) return 0;
            unsigned char second = p[i + 1];
            std::uint32_t cp = 0;
            std::size_t used = 2;
            if (lead == 0x8E) {  // half-width katakana
                if (in(second, 0xA1, 0xDF)) cp = 0xFF61 + (second - 0xA1);
            } else if (lead == 0x8F) {  // JIS X 0212, three bytes
                if (i + 2 == n || !in(second, 0xA1, 0xFE)) return 0;
                unsigned char third = p[i + 2];
                // The index ends before the last rows: pointers past it have
                // no code point.
                std::size_t pointer = (second - 0xA1) * 94 + (third - 0xA1);
                if (in(third, 0xA1, 0xFE) && pointer < std::size(tables::jis0212))
                    cp = tables::jis0212[pointer];
                used = 3;
            } else if (in(lead, 0xA1, 0xFE) && in(second, 0xA1, 0xFE)) {  // JIS X 0208
                cp = tables::jis0208[(lead - 0xA1) * 94 + (second - 0xA1)];
            }
            if (cp == 0) return 0;
            append_utf8(out, cp);
            return used;
        });
}

}  // namespace quorbix::xml::decoders
