// The start tag and the direct children of one element, read in one walk:
// what a table reads from each row, and what a dict-like view of an element
// lists.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "xml/encoding/encoding.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::engine {

struct ElementChild {
    std::string_view name;   // as written, prefix included
    std::size_t start, end;  // within the element's bytes
    bool leaf;               // no element inside
    // A leaf's raw text when it is one stretch (or none) and no CDATA:
    // xml::append_character_data reads it. Nothing otherwise.
    std::optional<std::string_view> text;
};

class ElementChildren {
  public:
    // Reads the first element of `bytes` (in `encoding`), or only its tag
    // without `with_children`; false when there is none. What an earlier
    // read found is dropped; the space is kept.
    bool read(std::string_view bytes, xml::Encoding encoding, bool with_children = true);

    // The element's start or self-closing tag.
    const xml::XmlEvent& tag() const { return tag_; }
    // Its direct children, in document order.
    const std::vector<ElementChild>& children() const { return children_; }

    // The walk's visitor (element_walk.hpp).
    bool start(const xml::XmlEvent& tag, std::size_t lt, std::size_t end, std::size_t depth);
    bool empty(const xml::XmlEvent& tag, std::size_t lt, std::size_t end, std::size_t depth);
    bool end(std::size_t lt, std::size_t end, std::size_t depth);
    bool text(std::string_view raw, std::size_t depth);
    bool cdata(std::string_view content, std::size_t depth);
    bool doctype(std::string_view, std::size_t) { return true; }

  private:
    xml::XmlEvent tag_;
    bool found_ = false;
    bool with_children_ = true;
    std::vector<ElementChild> children_;
};

}  // namespace quorbix::engine
