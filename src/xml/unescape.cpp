#include "xml/unescape.hpp"

#include <cstdint>
#include <cstring>

#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml {
namespace {

// Larger than any code point; digits stop counting once it is reached.
constexpr std::uint32_t beyond_unicode = 0x110000;

std::optional<std::uint32_t> character_reference(std::string_view digits) {
    unsigned base = 10;
    if (!digits.empty() && digits.front() == 'x') {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value >= beyond_unicode) return std::nullopt;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

std::optional<char> predefined_entity(std::string_view name) {
    if (name == "lt") return '<';
    if (name == "gt") return '>';
    if (name == "amp") return '&';
    if (name == "apos") return '\'';
    if (name == "quot") return '"';
    return std::nullopt;
}

}  // namespace

std::optional<std::string_view> unescape_text(std::string_view raw, std::string& scratch) {
    if (raw.empty()) return raw;  // it may have no address, which memchr must not see
    const char* p = raw.data();
    const char* end = p + raw.size();
    const char* amp = static_cast<const char*>(std::memchr(p, '&', raw.size()));
    if (amp == nullptr) return raw;

    scratch.clear();
    while (amp != nullptr) {
        scratch.append(p, amp);
        const char* semi = static_cast<const char*>(std::memchr(amp + 1, ';', end - amp - 1));
        if (semi == nullptr) return std::nullopt;
        std::string_view name(amp + 1, semi - amp - 1);
        if (!name.empty() && name.front() == '#') {
            auto cp = character_reference(name.substr(1));
            if (!cp) return std::nullopt;
            append_utf8(scratch, *cp);
        } else {
            auto c = predefined_entity(name);
            if (!c) return std::nullopt;
            scratch.push_back(*c);
        }
        p = semi + 1;
        amp = static_cast<const char*>(std::memchr(p, '&', end - p));
    }
    scratch.append(p, end);
    return std::string_view(scratch);
}

}  // namespace quorbix::xml
