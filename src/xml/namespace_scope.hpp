// The namespace declarations in scope at an element: what its prefixes, and
// the prefixes of its attributes, stand for. A scan keeps one while it tests
// names by namespace; it hears of each element it tests, in document order,
// and the declarations of elements that have ended fall away as later
// elements at their depth or above arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/encoding/encoding.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::xml {

// The namespace `xml:` always stands for, declared or not.
inline constexpr std::string_view xml_namespace = "http://www.w3.org/XML/1998/namespace";

// The namespace a name is in: a URI, none (an unprefixed name without a
// default namespace, and every unprefixed attribute: the empty URI), or
// unknown (a prefix nothing declares), which no namespace test passes.
struct NameNamespace {
    std::string_view uri;
    bool known = true;
};

class NamespaceScope {
  public:
    // The element whose tag `tag` is opens at `depth` (0 for the first one
    // the scan hears of): the declarations of elements at `depth` or below
    // have ended, and its own begin.
    void enter(const XmlEvent& tag, std::size_t depth, Encoding encoding) {
        while (!bindings_.empty() && bindings_.back().depth > depth) drop();
        std::string_view text = tag.attribute_text();
        // Most tags declare nothing: one search says so without reading them.
        if (text.size() > 5 && text.find("xmlns") != std::string_view::npos)
            declare_all(text, depth, encoding);
    }

    // The namespace of an element named `qualified`, or of an attribute: an
    // unprefixed attribute is in no namespace, whatever the default.
    NameNamespace element_namespace(std::string_view qualified) const;
    NameNamespace attribute_namespace(std::string_view qualified) const;

    // The elements below `depth` have ended: their declarations go.
    void leave(std::size_t depth) {
        while (!bindings_.empty() && bindings_.back().depth > depth + 1) drop();
    }
    // Moves whenever a declaration comes or goes.
    std::uint64_t changes() const { return changes_; }

    // What a walk over the bytes of the element last entered or left starts
    // from: the declarations in scope there, which that walk never drops.
    NamespaceScope inherited() const;

    bool empty() const { return bindings_.empty(); }

    // The declarations in effect, the innermost of each prefix, as the
    // attributes of a start tag would declare them: what a match keeps of the
    // scope it was found in, to be read again with it.
    std::string declarations() const;
    // The scope such attributes declare, for a walk that starts inside it.
    static NamespaceScope declared(std::string_view declarations);

  private:
    struct Binding {
        std::string prefix;  // empty: the default namespace
        std::string uri;     // empty: undeclared (xmlns="" or, in XML 1.1, xmlns:p="")
        std::size_t depth;   // one past the declaring element's; 0 for what a walk inherits
    };
    NameNamespace uri_of(std::string_view prefix) const;
    void drop() {
        bindings_.pop_back();
        ++changes_;
    }
    void declare_all(std::string_view attributes, std::size_t depth, Encoding encoding);
    void declare(std::string_view key, std::string_view raw_value, std::size_t depth,
                 Encoding encoding);

    std::vector<Binding> bindings_;  // innermost last
    std::uint64_t changes_ = 0;
};

}  // namespace quorbix::xml
