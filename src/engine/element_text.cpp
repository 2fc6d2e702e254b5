#include "engine/element_text.hpp"

#include <optional>

#include "engine/reads/element_children.hpp"
#include "engine/reads/element_walk.hpp"
#include "engine/reads/walk_entities.hpp"
#include "xml/attribute_search.hpp"
#include "xml/character_data.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/qualified_name.hpp"

namespace quorbix::engine {

namespace {

// The text of an element and its descendants, each piece as the document
// says it.
class TextOf : public ElementVisitor {
  public:
    TextOf(xml::Encoding encoding, const xml::Entities* entities, std::size_t size,
           std::string& out)
        : encoding_(encoding), entities_(entities, encoding, size), out_(out) {}

    bool text(std::string_view raw, std::size_t) {
        xml::append_character_data(raw, encoding_, out_, entities_.get());
        return true;
    }
    bool cdata(std::string_view content, std::size_t) {
        xml::append_cdata(content, encoding_, out_);
        return true;
    }
    bool doctype(std::string_view markup, std::size_t lt) {
        entities_.declare(markup, lt);
        return true;
    }

  private:
    xml::Encoding encoding_;
    WalkEntities entities_;
    std::string& out_;
};

// A document's DOCTYPE, as far as its first element: the walk stops there.
struct Prolog : ElementVisitor {
    WalkEntities entities;

    bool start(const xml::XmlEvent&, std::size_t, std::size_t, std::size_t) { return false; }
    bool empty(const xml::XmlEvent&, std::size_t, std::size_t, std::size_t) { return false; }
    bool doctype(std::string_view markup, std::size_t lt) {
        entities.declare(markup, lt);
        return false;
    }
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

std::string item_text(std::string_view bytes, xml::Encoding encoding,
                      const xml::Entities* entities) {
    std::string text;
    TextOf visitor(encoding, entities, bytes.size(), text);
    walk_element(bytes, encoding, visitor);
    return text;
}

std::shared_ptr<const xml::Entities> document_entities(std::string_view document,
                                                       xml::Encoding encoding) {
    Prolog prolog{{}, {nullptr, encoding, document.size()}};
    walk_element(document, encoding, prolog);
    return prolog.entities.shared();
}

bool attribute_value(const xml::XmlEvent& tag, std::string_view name, xml::Encoding encoding,
                     std::string& value, const xml::Entities* entities) {
    std::optional<std::string_view> found = xml::find_attribute(tag, name, encoding);
    if (!found) return false;
    value.clear();
    xml::append_attribute_value(*found, encoding, value, entities);
    return true;
}

bool attribute_value(const xml::XmlEvent& tag, const path::PathStep& step, xml::Encoding encoding,
                     const xml::NamespaceScope* scope, std::string& value,
                     const xml::Entities* entities) {
    if (!step.by_uri) [[likely]]
        return attribute_value(tag, step.name, encoding, value, entities);
    xml::AttributeIter it = xml::attributes(tag);
    xml::Attribute attribute;
    std::string scratch;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string_view key = xml::utf8_name(attribute.key, encoding, scratch);
        if (key == "xmlns" || key.starts_with("xmlns:")) continue;  // declarations, not attributes
        if (xml::local_name(key) != step.name) continue;
        xml::NameNamespace ns;
        if (key.size() != step.name.size()) {  // prefixed
            if (scope == nullptr) continue;
            ns = scope->attribute_namespace(key);
        }
        if (!ns.known || ns.uri != step.uri) continue;
        value.clear();
        xml::append_attribute_value(attribute.value, encoding, value, entities);
        return true;
    }
    return false;
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
