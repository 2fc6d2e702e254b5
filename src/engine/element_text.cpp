#include "engine/element_text.hpp"

#include <optional>

#include "xml/attribute_search.hpp"
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

std::string item_text(std::string_view bytes, xml::Encoding encoding) {
    xml::XmlReader reader(bytes, xml::evaluation_profile(), encoding);
    std::string text;
    for (;;) {
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) continue;
        if (r.event.kind == EventKind::Start) {
            collect_text(reader, text);
            return text;
        }
        if (r.event.kind == EventKind::Empty || r.event.kind == EventKind::Eof) return text;
    }
}

bool attribute_value(const xml::XmlEvent& tag, std::string_view name, xml::Encoding encoding,
                     std::string& value) {
    std::optional<std::string_view> found = xml::find_attribute(tag, name, encoding);
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

bool has_child_element(std::string_view bytes) {
    xml::XmlReader reader(bytes, xml::evaluation_profile());
    bool inside = false;
    for (;;) {
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) continue;
        switch (r.event.kind) {
            case EventKind::Start:
                if (inside) return true;
                inside = true;
                break;
            case EventKind::Empty:
                return inside;
            case EventKind::End:
            case EventKind::Eof:
                return false;
            default:
                break;
        }
    }
}

std::vector<ChildEntry> scan_children(std::string_view bytes) {
    xml::XmlReader reader(bytes, xml::evaluation_profile());
    std::vector<ChildEntry> children;
    bool inside = false;
    for (;;) {
        std::uint64_t start = reader.position();
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) continue;
        switch (r.event.kind) {
            case EventKind::Start:
                if (inside) {
                    (void)reader.skip_element(r.event.name());
                    children.push_back({r.event.name(), start, reader.position()});
                }
                inside = true;
                break;
            case EventKind::Empty:
                if (!inside) return children;
                children.push_back({r.event.name(), start, reader.position()});
                break;
            case EventKind::End:
            case EventKind::Eof:
                return children;
            default:
                break;
        }
    }
}

}  // namespace quorbix::engine
