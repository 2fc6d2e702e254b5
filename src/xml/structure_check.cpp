#include "xml/structure_check.hpp"

#include "xml/character_data.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"

namespace quorbix::xml {
void check_rest(std::string_view document, std::size_t from, TextEncoding encoding,
                StructureCheck& check) {
    if (!check.ok()) return;
    WalkStop stop = walk_tags(document, from, validation_profile(), encoding, check);
    if (stop.end == WalkEnd::Syntax) check.unreadable(stop.at);
    check.at_end(document.size());
}

std::string StructureCheck::message(Encoding encoding) const {
    std::string scratch_name, scratch_open;
    std::string_view name = utf8_name(name_, encoding, scratch_name);
    std::string_view open = utf8_name(open_name_, encoding, scratch_open);
    auto words = [](std::initializer_list<std::string_view> parts) {
        std::string text;
        for (std::string_view part : parts) text += part;
        return text;
    };
    switch (problem_) {
        case Problem::None:
            break;
        case Problem::StrayEnd:
            return words({"end tag </", name, "> closes no open element"});
        case Problem::MismatchedEnd:
            return words({"end tag </", name, "> does not close <", open, ">"});
        case Problem::SecondRoot:
            return words({"a second root element <", name, ">"});
        case Problem::Unclosed:
            return words({"element <", name, "> is not closed"});
        case Problem::NoRoot:
            return "no root element";
        case Problem::MalformedMarkup:
            return "a malformed declaration";
        case Problem::MalformedDocType:
            return "a malformed DOCTYPE (it names no root)";
        case Problem::Unreadable:
            return "markup that is not closed or not well formed";
    }
    return {};
}

}  // namespace quorbix::xml
