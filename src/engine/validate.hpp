// Whether a byte string is a document the system accepts, and if not, where
// and why not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"
#include "xml/structure_check.hpp"

namespace quorbix::engine {

// True for a document the reader reads without error, whose end tags match
// their start tags, and which has exactly one root element. Never fails:
// every problem is the answer false.
bool validate_document(std::string_view document);

// The first problem of a document `validate_document` refuses: the offset
// of the markup at fault (the document's size when it ends too soon), its
// line and column (from 1; the column counts characters), and what is wrong,
// in words, its names decoded from the document's encoding. `valid` is true,
// and the rest empty, for a valid one.
struct ValidationReport {
    bool valid = true;
    std::size_t offset = 0;
    std::size_t line = 0;
    std::size_t column = 0;
    std::string problem;
};
ValidationReport validation_report(std::string_view document);
// The same, for a document whose text is known to be in `encoding` (a str's
// UTF-8, whatever its declaration says).
ValidationReport validation_report(std::string_view document, xml::Encoding encoding);

// A place in a document: its byte offset, and its line and column (from 1;
// the column counts characters).
struct TextPlace {
    std::size_t offset = 0, line = 1, column = 1;
};
// The place just past `text`, in `encoding`, which begins at `place`.
TextPlace place_after(TextPlace place, std::string_view text, xml::Encoding encoding);

// What `check` found in `document` (text in `encoding`), as a report. The
// bytes may be the document's from `start` on (a document fed in pieces):
// the problem then lies within them.
ValidationReport report_of(const xml::StructureCheck& check, std::string_view document,
                           xml::Encoding encoding, TextPlace start = {});
// The same, for a problem whose place is known.
ValidationReport report_at(const xml::StructureCheck& check, TextPlace place,
                           xml::Encoding encoding);

// A document some of whose references stayed as written where the entity
// they name could not be read in their place (xml::Entities::fell_short: its
// replacement holds markup, it leads back to itself, or the expansion budget
// was spent): reported at its DOCTYPE, which stands at `place`, as a document
// not read in full. Valid while every reference so far was read.
ValidationReport entities_report(const xml::Entities& entities, TextPlace place);
// The same, for the whole `document` (text in `encoding`) that declares them.
ValidationReport entities_report(const xml::Entities& entities, std::string_view document,
                                 xml::Encoding encoding);

}  // namespace quorbix::engine
