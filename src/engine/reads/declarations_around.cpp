#include "engine/reads/declarations_around.hpp"

#include "xml/namespace_scope.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {
namespace {

// Enters every element up to the one at `offset`, whose tag ends the walk.
struct ScopeUntil {
    std::uint64_t offset;
    xml::Encoding encoding;
    xml::NamespaceScope scope;
    std::size_t depth = 0;

    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t) {
        if (lt >= offset) return false;
        if (event.kind == xml::EventKind::End) {
            if (depth != 0) --depth;  // its declarations go as the next element arrives
            return true;
        }
        scope.enter(event, depth, encoding);
        if (event.kind == xml::EventKind::Start) ++depth;
        return true;
    }
    bool markup(const xml::ReadResult&, std::size_t, std::size_t) { return true; }
};

}  // namespace

std::string declarations_around(std::string_view document, std::uint64_t offset,
                                xml::Encoding encoding) {
    ScopeUntil until{offset, encoding, {}};
    xml::DocumentStart start = xml::given_document_start(document, encoding);
    xml::walk_tags(document, 0, xml::evaluation_profile(), start.encoding, until);
    // An element entered at the depth of the one sought is a sibling before
    // it: its declarations have ended.
    if (until.depth == 0) return {};
    until.scope.leave(until.depth - 1);
    return until.scope.declarations();
}

}  // namespace quorbix::engine
