#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
bool euc_jp(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if (i + 1 == n) return false;
        unsigned char second = p[i + 1];
        std::uint32_t cp = 0;
        if (b == 0x8E) {  // half-width katakana
            if (in(second, 0xA1, 0xDF)) cp = 0xFF61 + (second - 0xA1);
            i += 2;
        } else if (b == 0x8F) {  // JIS X 0212, three bytes
            if (i + 2 == n || !in(second, 0xA1, 0xFE)) return false;
            unsigned char third = p[i + 2];
            if (in(third, 0xA1, 0xFE)) cp = tables::jis0212[(second - 0xA1) * 94 + (third - 0xA1)];
            i += 3;
        } else if (in(b, 0xA1, 0xFE)) {  // JIS X 0208
            if (in(second, 0xA1, 0xFE)) cp = tables::jis0208[(b - 0xA1) * 94 + (second - 0xA1)];
            i += 2;
        }
        if (cp == 0) return false;
        append_utf8(out, cp);
    }
    return true;
}

}  // namespace quorbix::xml::decoders
