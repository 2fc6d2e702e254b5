// Reading text and structure out of element bytes: the element's text, an
// attribute's value, and its direct children.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "path/compiled_path.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/namespace_scope.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::engine {

// The text of the first element in `bytes`, which are in `encoding`; empty
// for a self-closing one. Given `entities`, those its document declares are
// read in place of their references, here and in the reads below.
std::string item_text(std::string_view bytes, xml::Encoding encoding,
                      const xml::Entities* entities);

// The general entities the DOCTYPE of a whole `document` declares (read only
// as far as its element's start tag); null when it declares none.
std::shared_ptr<const xml::Entities> document_entities(std::string_view document,
                                                       xml::Encoding encoding);

// The value of the attribute `name` names: the key that equals the name, else
// (for a name without ':') the first key whose local part equals it. Keys
// and values are read in `encoding`, the value as `append_attribute_value`
// reads it. False when absent.
bool attribute_value(const xml::XmlEvent& tag, std::string_view name, xml::Encoding encoding,
                     std::string& value, const xml::Entities* entities);

// The value of the attribute an attribute step names: by name as above, or,
// for a step bound to a namespace, the first attribute in that namespace
// (an unprefixed one is in none) with that local name, its prefix read in
// `scope` (null where the scan keeps none: only unprefixed ones match).
bool attribute_value(const xml::XmlEvent& tag, const path::PathStep& step, xml::Encoding encoding,
                     const xml::NamespaceScope* scope, std::string& value,
                     const xml::Entities* entities);

// Calls `each(name, value)` for each well-formed attribute of `tag`, in
// order: the name as written, in UTF-8; the value as
// `xml::append_attribute_value` reads it, in UTF-8.
template <class Each>
void for_each_attribute(const xml::XmlEvent& tag, xml::Encoding encoding,
                        const xml::Entities* entities, Each each) {
    std::string scratch;
    xml::AttributeIter it = xml::attributes(tag);
    xml::Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string value;
        xml::append_attribute_value(attribute.value, encoding, value, entities);
        each(xml::utf8_name(attribute.key, encoding, scratch), std::move(value));
    }
}

// A self-closing element's bytes, rebuilt from its tag as `<content/>`.
std::string self_closing_bytes(const xml::XmlEvent& tag);

// Whether the first element in `bytes` contains a child element.
bool has_child_element(std::string_view bytes);

struct ChildEntry {
    std::string_view name;     // as written, prefix included
    std::uint64_t start, end;  // within the parent's bytes
};

// The direct children of the first element in `bytes`, in document order.
std::vector<ChildEntry> scan_children(std::string_view bytes);

}  // namespace quorbix::engine
