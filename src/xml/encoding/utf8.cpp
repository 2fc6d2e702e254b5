#include <cstdint>
#include <cstring>

#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/text/utf8.hpp"

namespace quorbix::xml {

using decoders::in;

bool is_ascii(std::string_view bytes) {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        high |= word;
    }
    for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
    return (high & 0x8080808080808080ull) == 0;
}

bool is_valid_utf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // Most text is ASCII: step over it eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) break;
            p += 8;
        }
        if (p == end) break;
        unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        std::size_t left = static_cast<std::size_t>(end - p);
        if (in(b, 0xC2, 0xDF)) {
            if (left < 2 || !in(p[1], 0x80, 0xBF)) return false;
            p += 2;
        } else if (in(b, 0xE0, 0xEF)) {
            unsigned char lower = b == 0xE0 ? 0xA0 : 0x80;
            unsigned char upper = b == 0xED ? 0x9F : 0xBF;
            if (left < 3 || !in(p[1], lower, upper) || !in(p[2], 0x80, 0xBF)) return false;
            p += 3;
        } else if (in(b, 0xF0, 0xF4)) {
            unsigned char lower = b == 0xF0 ? 0x90 : 0x80;
            unsigned char upper = b == 0xF4 ? 0x8F : 0xBF;
            if (left < 4 || !in(p[1], lower, upper) || !in(p[2], 0x80, 0xBF) ||
                !in(p[3], 0x80, 0xBF))
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    return true;
}

namespace decoders {

void utf8(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [text](const unsigned char*, std::size_t, std::size_t i, std::string& out) -> std::size_t {
            // A sequence cut short is one U+FFFD; the byte that cut it is read
            // again as the start of the next.
            bool complete;
            std::size_t length = utf8_valid_prefix(text, i, complete);
            if (!complete) return malformed(out, length > 0 ? length : 1);
            out.append(text.data() + i, length);
            return length;
        });
}

}  // namespace decoders
}  // namespace quorbix::xml
