#include "engine/validate.hpp"

#include "xml/xml_reader.hpp"

namespace quorbix::engine {

bool validate_document(std::string_view document) {
    xml::XmlReader reader(document, xml::validation_profile());
    bool root_seen = false;
    for (;;) {
        reader.skip_text();  // text is never looked at: no event is made for it
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) return false;
        switch (r.event.kind) {
            case xml::EventKind::Start:
            case xml::EventKind::Empty:
                // The reader's depth already counts this Start; a root starts
                // at depth 1, an empty root at depth 0.
                if (reader.depth() == (r.event.kind == xml::EventKind::Start ? 1u : 0u)) {
                    if (root_seen) return false;
                    root_seen = true;
                }
                break;
            case xml::EventKind::Eof:
                return reader.depth() == 0 && root_seen;
            default:
                // End tags are checked by the reader: a stray or mismatched
                // one is an error above. Comments, CDATA and the rest are not
                // looked at.
                break;
        }
    }
}

}  // namespace quorbix::engine
