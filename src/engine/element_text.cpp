#include "engine/element_text.hpp"

#include <unordered_set>

#include "xml/attributes.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/unescape.hpp"

namespace quorbix::engine {

using xml::EventKind;

void collect_text(xml::XmlReader& reader, std::string& out) {
    std::string decoded, unescaped;
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
                if (auto text = reader.decode_text(r.event.content, decoded))
                    if (auto plain = xml::unescape_text(*text, unescaped)) out += *plain;
                break;
            case EventKind::CData:
                out += r.event.content;
                break;
            default:
                break;
        }
    }
}

std::string item_text(std::string_view bytes) {
    xml::XmlReader reader(bytes, xml::evaluation_profile());
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

bool attribute_value(const xml::XmlEvent& tag, std::string_view name, std::string& value) {
    xml::AttributeIter it = xml::attributes(tag);
    xml::Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string_view key = attribute.key;
        std::size_t colon = key.rfind(':');
        if (colon != std::string_view::npos) key.remove_prefix(colon + 1);
        if (key != name) continue;
        std::string scratch;
        std::optional<std::string_view> unescaped;
        if (xml::is_valid_utf8(attribute.value))
            unescaped = xml::unescape_text(attribute.value, scratch);
        value.assign(unescaped ? *unescaped : attribute.value);
        return true;
    }
    return false;
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

std::vector<std::string_view> unique_child_names(const std::vector<ChildEntry>& children) {
    std::vector<std::string_view> names;
    std::unordered_set<std::string_view> seen;
    for (const ChildEntry& child : children)
        if (seen.insert(child.name).second) names.push_back(child.name);
    return names;
}

}  // namespace quorbix::engine
