// A table out of a document: one row per element a path matches, in document
// order, and one column per path relative to the row, or, without paths, one
// per attribute and leaf child the rows have. A cell holds the text a query
// for it would give as `to_str()`, or nothing when the row has no match.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/engine_match.hpp"
#include "engine/validate.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

struct Table {
    std::vector<std::string> columns;  // found columns' names, first seen first
    std::size_t rows = 0;
    std::vector<std::optional<std::string>> cells;  // row after row
    // Whether the document's tags make one tree, checked by the scan that
    // finds the rows: a table of a malformed document holds what was found.
    ValidationReport structure;
};

using TableOutcome = std::variant<Table, AmbiguousPath>;

// The rows `rows` matches, each read through every path of `columns` (the
// table's columns are the caller's, so `columns` of the Table stays empty).
// A match of `rows` that is not an element is no row. A column of one plain
// step is read without the evaluator unless `direct_reads` is off (tests
// compare the two ways).
TableOutcome read_table(std::string_view document, xml::Encoding encoding,
                        const path::CompiledPath& rows,
                        const std::vector<const path::CompiledPath*>& columns,
                        bool direct_reads = true);

// The same, with a column for each attribute and each leaf child (an element
// with no element inside) any row has, named as written; a row's last
// attribute or child of a name fills its column, as pandas.read_xml has it.
TableOutcome read_table_of_children(std::string_view document, xml::Encoding encoding,
                                    const path::CompiledPath& rows);

// How a column of cells would be typed by pandas' parsers, as far as its
// texts settle it cheaply: every present cell a plain decimal number
// (Number), or some cell that no parser reads as a number and none that reads
// as missing or as a bool (Text); anything else (Other) is left to pandas.
enum class ColumnKind : std::uint8_t { Text, Number, Other };

// The texts pandas' parsers read as a missing value by default: the one list
// the core's typing and the Python side's typing of partitions both use.
inline constexpr std::string_view missing_texts[] = {
    "",     "#N/A", "#N/A N/A", "#NA",  "-1.#IND", "-1.#QNAN", "-NaN", "-nan", "1.#IND", "1.#QNAN",
    "<NA>", "N/A",  "NA",       "NULL", "NaN",     "None",     "n/a",  "nan",  "null"};
ColumnKind column_kind(const Table& table, std::size_t column, std::size_t width);

// The text `to_str()` gives for a Result of `matches`, found in `bytes` (the
// bytes range-mode matches point into); nothing for no match.
std::optional<std::string> matches_text(const Matches& matches, std::string_view bytes,
                                        xml::Encoding encoding);

}  // namespace quorbix::engine
