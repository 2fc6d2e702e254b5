#include "text/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace quorbix::text {
namespace {

bool in(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

}  // namespace

std::size_t utf8_valid_prefix(std::string_view s, std::size_t i, bool& complete) {
    auto b = static_cast<unsigned char>(s[i]);
    complete = true;
    if (b < 0x80) return 1;
    std::size_t needed;
    unsigned char lower = 0x80, upper = 0xBF;
    if (in(b, 0xC2, 0xDF)) {
        needed = 1;
    } else if (in(b, 0xE0, 0xEF)) {
        needed = 2;
        if (b == 0xE0) lower = 0xA0;
        if (b == 0xED) upper = 0x9F;
    } else if (in(b, 0xF0, 0xF4)) {
        needed = 3;
        if (b == 0xF0) lower = 0x90;
        if (b == 0xF4) upper = 0x8F;
    } else {
        complete = false;
        return 0;
    }
    std::size_t seen = 1;
    while (seen <= needed) {
        if (i + seen == s.size()) {
            complete = false;
            return seen;
        }
        auto c = static_cast<unsigned char>(s[i + seen]);
        if (!in(c, lower, upper)) {
            complete = false;
            return seen;
        }
        lower = 0x80, upper = 0xBF;
        ++seen;
    }
    return seen;
}

std::size_t decode_code_point(std::string_view s, std::size_t i, std::uint32_t& cp) {
    bool complete;
    std::size_t length = utf8_valid_prefix(s, i, complete);
    if (!complete) return 0;
    auto b = static_cast<unsigned char>(s[i]);
    static constexpr unsigned char lead_mask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    cp = b & lead_mask[length];
    for (std::size_t k = 1; k < length; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return length;
}

std::size_t decode_last_code_point(std::string_view s, std::size_t end, std::uint32_t& cp) {
    std::size_t start = end;
    while (start > 0 && end - start < 4) {
        --start;
        if ((static_cast<unsigned char>(s[start]) & 0xC0) != 0x80) break;
    }
    if (start == end) return 0;
    std::size_t length = decode_code_point(s, start, cp);
    return start + length == end ? length : 0;
}

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

}  // namespace quorbix::text
