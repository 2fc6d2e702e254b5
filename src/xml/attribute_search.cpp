#include "xml/attribute_search.hpp"

#include <string>

#include "xml/attributes.hpp"
#include "xml/byte_search.hpp"
#include "xml/char_class.hpp"
#include "xml/character_data.hpp"
#include "xml/qualified_name.hpp"

namespace quorbix::xml {
namespace {

// Whether each byte below 0x80 reads as itself and each other byte as one
// character above U+007F: then a key equals an ASCII name exactly when its
// bytes do. The multi-byte encodings other than UTF-8 put ASCII bytes inside
// their characters, and UTF-16 has no ASCII bytes at all.
bool one_byte_per_character(Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf8:
        case Encoding::Gbk:
        case Encoding::Gb18030:
        case Encoding::Big5:
        case Encoding::EucJp:
        case Encoding::Iso2022Jp:
        case Encoding::ShiftJis:
        case Encoding::EucKr:
        case Encoding::Replacement:
        case Encoding::Utf16Be:
        case Encoding::Utf16Le:
            return false;
        default:
            return true;
    }
}

// Whether the keys that equal `name` are its bytes wherever they stand. In
// UTF-8 keys are compared as they are written, unless the name holds U+FFFD,
// which bytes that are not UTF-8 read as. A name no well-formed key can be
// (empty, or holding white space, '=' or a quote) is left to the reading too.
// `qualified` tells whether the name holds ':'.
bool searchable(std::string_view name, Encoding encoding, bool& qualified) {
    bool ascii = true;
    qualified = false;
    for (char c : name) {
        if (is_space(c) || c == '=' || c == '"' || c == '\'') return false;
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        qualified = qualified || c == ':';
    }
    if (name.empty()) return false;
    if (encoding == Encoding::Utf8) return ascii || !holds_replacement_character(name);
    return ascii && one_byte_per_character(encoding);
}

const char* skip_space(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

// The first place in [p, end) where `name` stands with at least one byte
// after it (a key that ends the tag has no value), or nullptr.
const char* find_name(const char* p, const char* end, std::string_view name) {
    if (end - p <= static_cast<std::ptrdiff_t>(name.size())) return nullptr;
    const char* last = end - name.size();  // the first byte after the last such place
    while ((p = find_byte(p, last, name[0])) != nullptr) {
        if (same_bytes(std::string_view(p, name.size()), name)) return p;
        ++p;
    }
    return nullptr;
}

// The quoted value after a key that ends at `p`; nothing when the key has
// no '=', or its value no quotes or no closing quote.
std::optional<std::string_view> value_after_key(const char* p, const char* end) {
    p = skip_space(p, end);
    if (p == end || *p != '=') return std::nullopt;
    p = skip_space(p + 1, end);
    if (p == end || (*p != '"' && *p != '\'')) return std::nullopt;
    const char* close = find_byte(p + 1, end, *p);
    if (close == nullptr) return std::nullopt;
    return std::string_view(p + 1, close - p - 1);
}

enum class Place { Outside, InsideValue, Unsure };

// An attribute list read as a simple one, where each '=' is followed by a
// quoted value and each quote outside values opens one: then the keys are
// what lies between the values, just as the attributes are read in turn.
class ListReading {
  public:
    ListReading(const char* begin, const char* end) : end_(end) { read_from(begin); }

    // Where `at` stands, the list read on up to it. Any list but a simple one
    // before `at` (an unquoted value, a quote in a key) is Unsure. At Outside
    // nothing but keys and white space stands between the last value read
    // and `at`.
    Place place_of(const char* at) {
        for (;;) {
            if (read_ > at) return Place::InsideValue;
            if (mark_ >= at) return Place::Outside;
            if (*mark_ != '=') return Place::Unsure;
            const char* quote = skip_space(mark_ + 1, end_);
            if (quote == end_ || (*quote != '"' && *quote != '\'')) return Place::Unsure;
            const char* close = find_byte(quote + 1, end_, *quote);
            read_from(close == nullptr ? end_ : close + 1);  // an unterminated value takes the rest
        }
    }

    // Where the list is read up to; from `p`, which stands outside values, on.
    const char* read() const { return read_; }
    void read_from(const char* p) {
        read_ = p;
        mark_ = find_value_mark(p, end_);  // once per stretch, however many places it holds
    }

  private:
    const char* read_;
    const char* mark_;  // the first '=' or quote from `read_` on, or the end
    const char* end_;
};

}  // namespace

std::optional<std::string_view> find_attribute(const XmlEvent& tag, std::string_view name,
                                               Encoding encoding) {
    bool qualified;
    if (!searchable(name, encoding, qualified)) return find_attribute_in_order(tag, name, encoding);
    std::string_view text = tag.attribute_text();
    const char* begin = text.data();
    const char* end = begin + text.size();
    // Each place the name stands is read up to first: a value that holds the
    // name is then stepped over at once, however often it holds it. A key
    // starts the list, or follows white space or a value's closing quote, and
    // ends at '=' or white space; a prefixed key holds ':' before the name.
    ListReading list(begin, end);
    std::optional<std::string_view> prefixed;
    for (const char *from = begin, *at; (at = find_name(from, end, name)) != nullptr;) {
        Place place = list.place_of(at);
        if (place == Place::Unsure) return find_attribute_in_order(tag, name, encoding);
        if (place == Place::InsideValue) {
            from = list.read();
            continue;
        }
        from = at + 1;
        const char* after = at + name.size();
        if (!is_space(*after) && *after != '=') continue;
        char before = at == begin ? ' ' : at[-1];
        bool whole = is_space(before) || before == '"' || before == '\'';
        if (!whole && !(before == ':' && !qualified && !prefixed)) continue;
        std::optional<std::string_view> value = value_after_key(after, end);
        if (!value) return find_attribute_in_order(tag, name, encoding);
        if (whole) return value;
        prefixed = value;
        list.read_from(value->data() + value->size() + 1);
        from = list.read();
    }
    return prefixed;
}

std::optional<std::string_view> find_attribute_in_order(const XmlEvent& tag, std::string_view name,
                                                        Encoding encoding) {
    bool whole_key = name.find(':') != std::string_view::npos;
    // In a UTF-8 document a key is compared as it stands: its bytes can equal
    // the name only if they are UTF-8, unless the name holds U+FFFD.
    bool decode_keys = encoding != Encoding::Utf8 || holds_replacement_character(name);
    std::string decoded_key;
    // The key that equals the name wins wherever it stands, so that `attr`
    // stays reachable beside `a:attr`; a prefixed key answers only without it.
    std::optional<std::string_view> prefixed;
    AttributeIter it = attributes(tag);
    Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string_view key =
            decode_keys ? utf8_name(attribute.key, encoding, decoded_key) : attribute.key;
        if (key == name) return attribute.value;
        if (!whole_key && !prefixed && prefixed_local_name_is(key, name))
            prefixed = attribute.value;
    }
    return prefixed;
}

}  // namespace quorbix::xml
