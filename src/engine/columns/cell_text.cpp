#include "engine/columns/cell_text.hpp"

#include "engine/element_text.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {

std::string_view cell_text(const EngineMatch& match, std::string_view bytes, xml::Encoding encoding,
                           std::string& scratch, const xml::Entities* entities) {
    if (match.kind == EngineMatch::Kind::ScalarText) return text::trim_white_space(match.bytes);
    std::string_view element = match.kind == EngineMatch::Kind::ElementRange
                                   ? bytes.substr(static_cast<std::size_t>(match.start),
                                                  static_cast<std::size_t>(match.end - match.start))
                                   : std::string_view(match.bytes);
    if (has_child_element(element)) return xml::utf8_text(element, encoding, scratch);
    scratch = item_text(element, encoding, entities);
    return text::trim_white_space(scratch);
}

std::string_view leaf_cell_text(std::string_view raw, xml::Encoding encoding, std::string& scratch,
                                const xml::Entities* entities) {
    scratch.clear();
    xml::append_character_data(raw, encoding, scratch, entities);
    return text::trim_white_space(scratch);
}

}  // namespace quorbix::engine
