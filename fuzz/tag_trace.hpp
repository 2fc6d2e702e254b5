// The tags of a document as the reader reports them and as the tag walker
// does, written out one line per event with its offset, so that the two can
// be compared event by event and position by position.
#pragma once

#include <string>
#include <string_view>

#include "xml/tag_walker.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::fuzz {

// Both readings take stray end tags as events: depth is the caller's.
inline xml::ReaderSettings trace_settings() {
    xml::ReaderSettings settings;
    settings.allow_stray_end_tags = true;
    return settings;
}

inline void trace_event(std::string& out, std::size_t at, std::size_t end,
                        const xml::XmlEvent& event, xml::ReaderError error) {
    out += std::to_string(at) + '-' + std::to_string(end) + ' ' +
           std::to_string(static_cast<int>(event.kind)) + ' ' +
           std::to_string(static_cast<int>(error)) + ' ' + std::to_string(event.name_length) + ' ' +
           std::string(event.content) + '\n';
}

// The reader over `document`, stepping over text as a walk does.
inline std::string reader_trace(std::string_view document) {
    xml::XmlReader reader(document, trace_settings());
    std::string out;
    for (;;) {
        reader.skip_text();
        std::size_t at = reader.position();
        xml::ReadResult read = reader.next_event();
        if (read.error == xml::ReaderError::Syntax) return out + "syntax\n";
        if (read.event.kind == xml::EventKind::Eof) return out + "eof\n";
        trace_event(out, at, reader.position(), read.event, read.error);
    }
}

struct TraceVisitor {
    std::string out;
    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        trace_event(out, lt, end, event, xml::ReaderError::None);
        return true;
    }
    bool markup(const xml::ReadResult& read, std::size_t lt, std::size_t end) {
        trace_event(out, lt, end, read.event, read.error);
        return true;
    }
};

// The tag walker over `document`, with the classifier in use.
inline std::string walker_trace(std::string_view document) {
    xml::DocumentStart start = xml::read_document_start(document);
    TraceVisitor visitor;
    xml::WalkStop stop =
        xml::walk_tags(document, start.mark_length, trace_settings(), start.encoding, visitor);
    return visitor.out + (stop.end == xml::WalkEnd::Syntax ? "syntax\n" : "eof\n");
}

}  // namespace quorbix::fuzz
