// The encoding the reader decodes text from, and how it was learnt: what a
// document's first bytes say, or what the caller knows already.
#pragma once

#include <cstddef>
#include <string_view>

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

enum class EncodingSource {
    Implicit,      // nothing said: UTF-8
    BomDetected,   // from a byte-order mark or the first bytes
    DeclDetected,  // from the declaration's encoding label
    Given,         // known before reading: a str's text, a transcoded copy, an element's bytes
};

struct TextEncoding {
    EncodingSource source = EncodingSource::Implicit;
    Encoding encoding = Encoding::Utf8;
};

// How a document is to be read, as its start says.
struct DocumentStart {
    TextEncoding encoding;
    std::size_t mark_length = 0;  // a byte-order mark, stepped over by the reader
    // A declaration at the very start whose label the Encoding Standard does
    // not name: the label, and the declaration's length through its "?>".
    // The document then reads as UTF-8 unless its reader knows the label.
    std::string_view unknown_label;
    std::size_t declaration_length = 0;
};

// A byte-order mark decides and nothing overrides it. Without one, the first
// bytes may name UTF-16, and a declaration standing at the very start names
// the encoding by its label. A declaration anywhere else changes nothing.
DocumentStart read_document_start(std::string_view bytes);

// The encoding a document's text is in, as its start says.
inline Encoding document_encoding(std::string_view bytes) {
    return read_document_start(bytes).encoding.encoding;
}

// Bytes whose encoding is known already; only a UTF-8 byte-order mark in
// UTF-8 bytes is stepped over.
DocumentStart given_document_start(std::string_view bytes, Encoding encoding);

}  // namespace quorbix::xml
