// A table out of a document: one row per element a path matches, in document
// order, and one column per path relative to the row, or, without paths, one
// per attribute and leaf child the rows have. A cell holds the text a query
// for it would give as `to_str()` (of its first match, when it has several),
// or nothing when the row has no match; a column whose path goes on from
// each match (`tag.#.#text`, `tag.#(...)#`) holds a list of texts per row.
#pragma once

#include <string_view>
#include <variant>
#include <vector>

#include "engine/columns/table.hpp"
#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"

namespace quorbix::engine {

using TableOutcome = std::variant<Table, AmbiguousPath>;

// The rows `rows` matches, each read through every path of `columns` (the
// table's columns are the caller's, so `names` of the Table stays empty).
// A match of `rows` that is not an element is no row. A column of one plain
// step is read without the evaluator unless `direct_reads` is off (tests
// compare the two ways). References read the entities the document's DOCTYPE
// declares, and a reference left unread is reported in the table's
// `structure`; or, given `entities`, those of the document the rows were
// copied out of (a stream's), whose reader reports them.
TableOutcome read_table(std::string_view document, xml::Encoding encoding,
                        const path::CompiledPath& rows,
                        const std::vector<const path::CompiledPath*>& columns,
                        bool direct_reads = true,
                        std::shared_ptr<const xml::Entities> entities = nullptr);

// The same, with a column for each attribute and each leaf child (an element
// with no element inside) any row has, named as written; a row's last
// attribute or child of a name fills its column, as pandas.read_xml has it.
// Without `one_walk` each row is read again after the walk that found it
// (tests compare the two ways).
TableOutcome read_table_of_children(std::string_view document, xml::Encoding encoding,
                                    const path::CompiledPath& rows, bool one_walk = true,
                                    std::shared_ptr<const xml::Entities> entities = nullptr);

}  // namespace quorbix::engine
