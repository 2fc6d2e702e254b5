#include "xml/text/utf8.hpp"

namespace quorbix::xml {
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

}  // namespace quorbix::xml
