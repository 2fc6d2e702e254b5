// The driver's loop over a whole document, for any visitor that passes the
// walk's tags on to a machine and hears where the walk ended (`finish`): the
// machine itself (drive.hpp), or one that reads more from the same tags.
#pragma once

#include <string_view>

#include "engine/driver/checked.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {

template <class Visitor>
void walk_document(Machine& machine, Visitor& visitor, std::string_view bytes,
                   xml::Encoding encoding, xml::StructureCheck* check) {
    xml::DocumentStart start = xml::given_document_start(bytes, encoding);
    if (machine.stopped()) {  // it has nothing to look for
        if (check != nullptr) xml::check_rest(bytes, start.mark_length, start.encoding, *check);
        return;
    }
    if (check == nullptr) {
        xml::WalkStop stop = xml::walk_tags(bytes, start.mark_length, xml::evaluation_profile(),
                                            start.encoding, visitor);
        return visitor.finish(stop.at);
    }
    Checked<Visitor> checked{visitor, *check};
    xml::WalkStop stop = xml::walk_tags(bytes, start.mark_length, xml::evaluation_profile(),
                                        start.encoding, checked);
    visitor.finish(stop.at);
    if (stop.end == xml::WalkEnd::Stopped) {
        xml::check_rest(bytes, machine.seen_until(), start.encoding, *check);
        return;
    }
    if (stop.end == xml::WalkEnd::Syntax) check->unreadable(stop.at);
    check->at_end(bytes.size());
}

}  // namespace quorbix::engine
