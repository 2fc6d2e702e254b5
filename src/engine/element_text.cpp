#include "engine/element_text.hpp"

#include <optional>

#include "engine/name_test.hpp"
#include "engine/reads/element_children.hpp"
#include "engine/reads/element_walk.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

using xml::EventKind;

void collect_text(xml::XmlReader& reader, std::string& out) {
    xml::Encoding encoding = reader.encoding().encoding;
    std::size_t depth = 1;
    for (;;) {
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) continue;  // a Syntax error leaves the reader at Eof
        switch (r.event.kind) {
            case EventKind::Start:
                ++depth;
                break;
            case EventKind::End:
                if (--depth == 0) return;
                break;
            case EventKind::Eof:
                return;
            case EventKind::Text:
                xml::append_character_data(r.event.content, encoding, out);
                break;
            case EventKind::CData:
                xml::append_cdata(r.event.content, encoding, out);
                break;
            default:
                break;
        }
    }
}

namespace {

// The text of an element and its descendants, each piece as the document
// says it.
class TextOf : public ElementVisitor {
  public:
    TextOf(xml::Encoding encoding, std::string& out) : encoding_(encoding), out_(out) {}

    bool text(std::string_view raw, std::size_t) {
        xml::append_character_data(raw, encoding_, out_);
        return true;
    }
    bool cdata(std::string_view content, std::size_t) {
        xml::append_cdata(content, encoding_, out_);
        return true;
    }

  private:
    xml::Encoding encoding_;
    std::string& out_;
};

// Whether an element has a child element: the walk stops at the first.
struct FirstChild : ElementVisitor {
    bool found = false;

    bool start(const xml::XmlEvent&, std::size_t, std::size_t, std::size_t depth) {
        found = depth != 0;
        return !found;
    }
    bool empty(const xml::XmlEvent& tag, std::size_t lt, std::size_t end, std::size_t depth) {
        return start(tag, lt, end, depth);
    }
};

}  // namespace

std::string item_text(std::string_view bytes, xml::Encoding encoding) {
    std::string text;
    TextOf visitor(encoding, text);
    walk_element(bytes, encoding, visitor);
    return text;
}

bool attribute_value(const xml::XmlEvent& tag, std::string_view name, xml::Encoding encoding,
                     std::string& value) {
    bool whole_key = name.find(':') != std::string_view::npos;
    // In a UTF-8 document a key is compared as it stands: its bytes can equal
    // the name only if they are UTF-8, unless the name holds U+FFFD.
    bool decode_keys = encoding != xml::Encoding::Utf8 || xml::holds_replacement_character(name);
    std::string decoded_key;
    // The key that equals the name wins wherever it stands, so that `attr`
    // stays reachable beside `a:attr`; a prefixed key answers only without it.
    std::optional<std::string_view> found;
    xml::AttributeIter it = xml::attributes(tag);
    xml::Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string_view key =
            decode_keys ? xml::utf8_name(attribute.key, encoding, decoded_key) : attribute.key;
        if (key == name) {
            found = attribute.value;
            break;
        }
        if (!whole_key && !found && prefixed_local_name_is(key, name)) found = attribute.value;
    }
    if (!found) return false;
    value.clear();
    xml::append_attribute_value(*found, encoding, value);
    return true;
}

std::string self_closing_bytes(const xml::XmlEvent& tag) {
    std::string bytes = "<";
    bytes += tag.content;
    bytes += "/>";
    return bytes;
}

// Element bytes are read as UTF-8 for their structure: names and offsets
// do not depend on how text is decoded.
bool has_child_element(std::string_view bytes) {
    FirstChild visitor;
    walk_element(bytes, xml::Encoding::Utf8, visitor);
    return visitor.found;
}

std::vector<ChildEntry> scan_children(std::string_view bytes) {
    ElementChildren element;
    element.read(bytes, xml::Encoding::Utf8);
    std::vector<ChildEntry> children;
    children.reserve(element.children().size());
    for (const ElementChild& child : element.children())
        children.push_back({child.name, child.start, child.end});
    return children;
}

}  // namespace quorbix::engine
