#include "xml/structure_check.hpp"

#include "xml/character_data.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"

namespace quorbix::xml {
namespace {

// Hands a tag walk's tags and markup to a check; the walk stops at the
// check's first problem.
struct CheckVisitor {
    StructureCheck& check;

    bool tag(const XmlEvent& event, std::size_t lt) {
        switch (event.kind) {
            case EventKind::Start:
                return check.start(event.name(), lt);
            case EventKind::Empty:
                return check.empty(event.name(), lt);
            default:
                return check.end(event.content, lt);
        }
    }

    // Comments, CDATA and the rest are not looked at, but must read well.
    bool markup(const ReadResult& read, std::size_t lt) {
        if (!read.ok()) check.malformed(read.event.kind, lt);
        return check.ok();
    }
};

}  // namespace

void check_rest(std::string_view document, std::size_t from, TextEncoding encoding,
                StructureCheck& check) {
    if (!check.ok()) return;
    CheckVisitor visitor{check};
    WalkStop stop = walk_tags(document, from, validation_profile(), encoding, visitor);
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
