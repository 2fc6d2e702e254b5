#include "text/white_space.hpp"

#include "text/utf8.hpp"

namespace quorbix::text {

bool is_white_space(std::uint32_t cp) {
    if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D);
    if (cp < 0x85) return false;
    return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) ||
           cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

std::string_view trim_white_space(std::string_view text) {
    // Printable ASCII is never white space: most texts end in it at both ends.
    auto printable = [](char c) { return c > ' ' && c < '\x7F'; };
    if (!text.empty() && printable(text.front()) && printable(text.back())) return text;
    std::uint32_t cp;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = decode_code_point(text, begin, cp);
        if (length == 0 || !is_white_space(cp)) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t length = decode_last_code_point(text, end, cp);
        if (length == 0 || !is_white_space(cp)) break;
        end -= length;
    }
    return text.substr(begin, end - begin);
}

}  // namespace quorbix::text
