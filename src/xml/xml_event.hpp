// One event of the XML reader. Payloads borrow from the reader's input.
#pragma once

#include <cstddef>
#include <string_view>

namespace quorbix::xml {

enum class EventKind { Start, End, Empty, Text, CData, Comment, Decl, PI, DocType, Eof };

struct XmlEvent {
    EventKind kind = EventKind::Eof;
    // Start/Empty: the tag content between '<' and '>' (or "/>"); End: the
    // name; Text, CData, Comment, Decl, PI, DocType: the raw bytes.
    std::string_view content;
    std::size_t name_length = 0;  // Start/Empty: the name is the content's first bytes

    std::string_view name() const {
        return kind == EventKind::End ? content : content.substr(0, name_length);
    }
    // Start/Empty: what follows the name, where the attributes stand.
    std::string_view attribute_text() const { return content.substr(name_length); }
};

enum class ReaderError {
    None,
    Syntax,     // unclosed or malformed markup; the reader stops
    IllFormed,  // stray or mismatched end tag, nameless DOCTYPE, missing end tag
    Encoding,   // text that does not decode
    Escape,     // a bad entity or character reference
};

struct ReadResult {
    XmlEvent event;
    ReaderError error = ReaderError::None;

    bool ok() const { return error == ReaderError::None; }
};

}  // namespace quorbix::xml
