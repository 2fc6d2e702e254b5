#include "xml/character_data.hpp"

#include <cstring>

#include "xml/unescape.hpp"

namespace quorbix::xml {
namespace {

// ASCII reads the same in every encoding that extends it.
bool extends_ascii(Encoding encoding) {
    return encoding != Encoding::Utf16Be && encoding != Encoding::Utf16Le &&
           encoding != Encoding::Iso2022Jp && encoding != Encoding::Replacement;
}

}  // namespace

std::string_view utf8_text(std::string_view raw, Encoding encoding, std::string& scratch) {
    bool as_it_is =
        encoding == Encoding::Utf8 ? is_valid_utf8(raw) : extends_ascii(encoding) && is_ascii(raw);
    if (as_it_is) return raw;
    decode(encoding, raw, scratch);
    return scratch;
}

std::string_view utf8_name(std::string_view raw, Encoding encoding, std::string& scratch) {
    bool utf16 = encoding == Encoding::Utf16Be || encoding == Encoding::Utf16Le;
    if (!utf16 && is_ascii(raw)) return raw;
    return utf8_text(raw, encoding, scratch);
}

std::string_view lf_line_ends(std::string_view text, std::string& scratch) {
    if (text.empty()) return text;  // it may have no address, which memchr must not see
    const char* p = text.data();
    const char* end = p + text.size();
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', text.size()));
    if (cr == nullptr) return text;
    scratch.clear();
    scratch.reserve(text.size());
    while (cr != nullptr) {
        scratch.append(p, cr);
        scratch.push_back('\n');
        p = cr + 1;
        if (p < end && *p == '\n') ++p;  // CR LF is one line end
        cr = static_cast<const char*>(std::memchr(p, '\r', end - p));
    }
    scratch.append(p, end);
    return scratch;
}

void append_character_data(std::string_view raw, Encoding encoding, std::string& out) {
    std::string decoded, lines;
    append_unescaped(lf_line_ends(utf8_text(raw, encoding, decoded), lines), out);
}

void append_cdata(std::string_view raw, Encoding encoding, std::string& out) {
    std::string decoded, lines;
    out += lf_line_ends(utf8_text(raw, encoding, decoded), lines);
}

}  // namespace quorbix::xml
