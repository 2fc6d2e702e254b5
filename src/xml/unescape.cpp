#include "xml/unescape.hpp"

#include <cstdint>
#include <cstring>

#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml {
namespace {

// Larger than any code point; digits stop counting once it is reached.
constexpr std::uint32_t beyond_unicode = 0x110000;

bool is_digit(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

unsigned digit_value(char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

}  // namespace

// Leading zeros are allowed; the value stops counting past the last code
// point, so the digits cannot overflow.
const char* read_character_reference(const char* p, const char* end, std::uint32_t& cp) {
    bool hex = p < end && *p == 'x';
    if (hex) ++p;
    const char* digits = p;
    std::uint32_t value = 0;
    for (; p < end && is_digit(*p, hex); ++p)
        if (value < beyond_unicode) value = value * (hex ? 16 : 10) + digit_value(*p);
    if (p == digits || p == end || *p != ';') return nullptr;
    if (value == 0 || value >= beyond_unicode || (value >= 0xD800 && value <= 0xDFFF))
        return nullptr;
    cp = value;
    return p + 1;
}

const char* read_predefined_entity(const char* p, const char* end, char& c) {
    static constexpr struct {
        std::string_view spelling;
        char character;
    } entities[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};
    auto left = static_cast<std::size_t>(end - p);
    for (const auto& e : entities) {
        if (left >= e.spelling.size() &&
            std::memcmp(p, e.spelling.data(), e.spelling.size()) == 0) {
            c = e.character;
            return p + e.spelling.size();
        }
    }
    return nullptr;
}

void append_unescaped(std::string_view text, std::string& out, const Entities* entities,
                      ReferenceIn in) {
    if (text.empty()) return;  // it may have no address, which memchr must not see
    const char* p = text.data();
    const char* end = p + text.size();
    // Each reference is read forward from its '&' and only as far as it can
    // be valid, so text full of stray '&' costs linear time.
    for (;;) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', end - p));
        if (amp == nullptr) break;
        out.append(p, amp);
        const char* after = nullptr;
        if (amp + 1 < end && amp[1] == '#') {
            std::uint32_t cp = 0;
            after = read_character_reference(amp + 2, end, cp);
            if (after != nullptr) append_utf8(out, cp);
        } else {
            char c = 0;
            after = read_predefined_entity(amp + 1, end, c);
            if (after != nullptr) {
                out.push_back(c);
            } else if (entities != nullptr) {  // predefined names keep their meaning
                after = entities->expand_reference(amp + 1, end, out, in);
            }
        }
        if (after == nullptr) {  // not a reference we resolve: kept as written
            out.push_back('&');
            after = amp + 1;
        }
        p = after;
    }
    out.append(p, end);
}

std::string_view unescape_text(std::string_view text, std::string& scratch) {
    if (text.empty() || std::memchr(text.data(), '&', text.size()) == nullptr) return text;
    scratch.clear();
    append_unescaped(text, scratch);
    return scratch;
}

}  // namespace quorbix::xml
