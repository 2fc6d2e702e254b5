#include "engine/reads/element_children.hpp"

#include "engine/reads/element_walk.hpp"

namespace quorbix::engine {

// The walk's callbacks run once per tag: they are inlined into the walk,
// which `read` below makes, and called from nowhere else.
[[gnu::always_inline]] inline bool ElementChildren::start(const xml::XmlEvent& tag, std::size_t lt,
                                                          std::size_t end, std::size_t depth) {
    if (depth == 1) {
        children_.push_back({tag.name(), lt, end, true, std::string_view()});
        return true;
    }
    empty(tag, lt, end, depth);
    return depth != 0 || with_children_;
}

[[gnu::always_inline]] inline bool ElementChildren::empty(const xml::XmlEvent& tag, std::size_t lt,
                                                          std::size_t end, std::size_t depth) {
    if (depth == 0) {
        tag_ = tag;
        found_ = true;
    } else if (depth == 1) {
        children_.push_back({tag.name(), lt, end, true, std::string_view()});
    } else {
        children_.back().leaf = false;
        children_.back().text.reset();
    }
    return true;
}

[[gnu::always_inline]] inline bool ElementChildren::end(std::size_t, std::size_t end,
                                                        std::size_t depth) {
    if (depth == 1) children_.back().end = end;
    return true;
}

[[gnu::always_inline]] inline bool ElementChildren::text(std::string_view raw, std::size_t depth) {
    if (depth == 0) return true;
    // A second stretch (text is never empty): the caller reads the text from
    // the child's bytes instead.
    std::optional<std::string_view>& text = children_.back().text;
    if (text) text = text->empty() ? std::optional(raw) : std::nullopt;
    return true;
}

[[gnu::always_inline]] inline bool ElementChildren::cdata(std::string_view, std::size_t depth) {
    if (depth != 0) children_.back().text.reset();
    return true;
}

bool ElementChildren::read(std::string_view bytes, xml::Encoding encoding, bool with_children) {
    found_ = false;
    with_children_ = with_children;
    children_.clear();
    walk_element(bytes, encoding, *this);
    return found_;
}

}  // namespace quorbix::engine
