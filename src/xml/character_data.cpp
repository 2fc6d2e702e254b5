#include "xml/character_data.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/utf8.hpp"
#include "xml/unescape.hpp"

namespace quorbix::xml {
namespace {

// Whether ASCII bytes read as themselves in `encoding`: in every encoding
// that extends ASCII, and in ISO-2022-JP without the bytes that shift it.
// `names` reads the replacement encoding's too: its markup was found by it.
bool ascii_as_it_is(std::string_view ascii, Encoding encoding, bool names) {
    switch (encoding) {
        case Encoding::Utf16Be:
        case Encoding::Utf16Le:
            return false;
        case Encoding::Replacement:
            return names;
        case Encoding::Iso2022Jp:
            return ascii.find_first_of("\x1B\x0E\x0F") == std::string_view::npos;
        default:
            return true;
    }
}

std::string_view utf8_of(std::string_view raw, Encoding encoding, bool names,
                         std::string& scratch) {
    bool as_it_is = encoding == Encoding::Utf8
                        ? text::is_valid_utf8(raw)
                        : text::is_ascii(raw) && ascii_as_it_is(raw, encoding, names);
    if (as_it_is) return raw;
    decode(encoding, raw, scratch);
    return scratch;
}

}  // namespace

std::string_view utf8_text(std::string_view raw, Encoding encoding, std::string& scratch) {
    return utf8_of(raw, encoding, false, scratch);
}

std::string_view utf8_name(std::string_view raw, Encoding encoding, std::string& scratch) {
    return utf8_of(raw, encoding, true, scratch);
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

namespace {

// An attribute value with its line ends, tabs and line feeds as spaces (a CR
// LF pair is one line end and so one space): `text` itself when it holds
// none, else the rewritten text in `scratch`.
std::string_view spaces_for_white_space(std::string_view text, std::string& scratch) {
    std::string_view lines = lf_line_ends(text, scratch);
    if (lines.find_first_of("\t\n") == std::string_view::npos) return lines;
    if (lines.data() != scratch.data()) scratch.assign(lines);
    std::replace_if(
        scratch.begin(), scratch.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
    return scratch;
}

// What is read: text between markup, or an attribute value.
enum class Read { Text, AttributeValue };

// Whether any byte of `word` is zero.
constexpr bool has_zero_byte(std::uint64_t word) {
    return ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0;
}

// Whether any byte of `word`, which holds only ASCII, is a control character.
constexpr bool has_control_byte(std::uint64_t word) {
    return ((word - 0x2020202020202020ull) & ~word & 0x8080808080808080ull) != 0;
}

// Whether `text` is plain ASCII without '&' and without what line ends or
// white space would change (a CR in text, any control character in a value),
// and so reads as it stands in every encoding that extends ASCII: one pass,
// eight bytes at a time, where the stages below would take three.
template <Read read>
bool is_plain(std::string_view text) {
    constexpr std::uint64_t cr = 0x0D0D0D0D0D0D0D0Dull, amp = 0x2626262626262626ull;
    const char* p = text.data();
    std::size_t n = text.size(), i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull) return false;
        bool changes = read == Read::Text ? has_zero_byte(word ^ cr) : has_control_byte(word);
        if (changes || has_zero_byte(word ^ amp)) return false;
    }
    for (; i < n; ++i) {
        auto c = static_cast<unsigned char>(p[i]);
        bool changes = read == Read::Text ? c == '\r' : c < 0x20;
        if (c >= 0x80 || changes || c == '&') return false;
    }
    return true;
}

template <Read read>
void append_read(std::string_view raw, Encoding encoding, std::string& out,
                 const Entities* entities) {
    bool extends_ascii = encoding != Encoding::Iso2022Jp && ascii_as_it_is({}, encoding, false);
    if (extends_ascii && is_plain<read>(raw)) {
        out.append(raw);
        return;
    }
    std::string decoded, spaced;
    std::string_view text = utf8_text(raw, encoding, decoded);
    constexpr ReferenceIn in = read == Read::Text ? ReferenceIn::Text : ReferenceIn::AttributeValue;
    append_unescaped(
        read == Read::Text ? lf_line_ends(text, spaced) : spaces_for_white_space(text, spaced), out,
        entities, in);
}

}  // namespace

void append_character_data(std::string_view raw, Encoding encoding, std::string& out,
                           const Entities* entities) {
    append_read<Read::Text>(raw, encoding, out, entities);
}

void append_attribute_value(std::string_view raw, Encoding encoding, std::string& out,
                            const Entities* entities) {
    append_read<Read::AttributeValue>(raw, encoding, out, entities);
}

bool text_as_written(std::string_view raw) {
    return is_plain<Read::Text>(raw);
}

bool value_as_written(std::string_view raw) {
    return is_plain<Read::AttributeValue>(raw);
}

void append_cdata(std::string_view raw, Encoding encoding, std::string& out) {
    std::string decoded, lines;
    out += lf_line_ends(utf8_text(raw, encoding, decoded), lines);
}

}  // namespace quorbix::xml
