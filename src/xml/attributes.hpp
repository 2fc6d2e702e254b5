// Iteration over the attributes of a start or empty tag, in document order.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <unordered_set>

#include "xml/xml_event.hpp"

namespace quorbix::xml {

struct Attribute {
    std::string_view key;
    std::string_view value;  // raw, between the quotes, entities unresolved
    bool ok = true;          // false for an error item: callers skip it
};

class AttributeIter {
  public:
    // `text` is what follows the tag name (XmlEvent::attribute_text).
    explicit AttributeIter(std::string_view text) : p_(text.data()), end_(p_ + text.size()) {}

    // The next attribute or error item; false when the tag has no more.
    bool next(Attribute& out);

  private:
    bool seen_before(std::string_view key);

    const char* p_;
    const char* end_;
    // Keys seen so far, for the duplicate check. A tag has few attributes, so
    // they are kept in place without allocating; a long list moves to a set.
    static constexpr std::size_t listed_keys = 16;
    std::array<std::string_view, listed_keys> keys_;
    std::size_t key_count_ = 0;
    std::unordered_set<std::string_view> key_set_;
};

inline AttributeIter attributes(const XmlEvent& tag) {
    return AttributeIter(tag.attribute_text());
}

}  // namespace quorbix::xml
