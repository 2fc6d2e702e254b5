#include <cstdint>
#include <cstring>

#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"

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
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char b = p[i];
            std::size_t needed;
            unsigned char lower = 0x80, upper = 0xBF;
            if (in(b, 0xC2, 0xDF)) {
                needed = 1;
            } else if (in(b, 0xE0, 0xEF)) {
                needed = 2;
                if (b == 0xE0) lower = 0xA0;  // overlong
                if (b == 0xED) upper = 0x9F;  // surrogates
            } else if (in(b, 0xF0, 0xF4)) {
                needed = 3;
                if (b == 0xF0) lower = 0x90;  // overlong
                if (b == 0xF4) upper = 0x8F;  // above U+10FFFF
            } else {
                return malformed(out, 1);
            }
            // A sequence cut short is one U+FFFD; the byte that cut it is read
            // again as the start of the next.
            for (std::size_t k = 1; k <= needed; ++k) {
                if (i + k == n || !in(p[i + k], lower, upper)) return malformed(out, k);
                lower = 0x80, upper = 0xBF;
            }
            out.append(reinterpret_cast<const char*>(p + i), needed + 1);
            return needed + 1;
        });
}

}  // namespace decoders
}  // namespace quorbix::xml
