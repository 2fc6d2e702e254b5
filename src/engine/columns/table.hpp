// A table read out of a document: its columns' names, its rows, one Column
// each, and whether the document's tags made one tree, checked by the scan
// that found the rows (a table of a malformed document holds what was found).
#pragma once

#include <string>
#include <vector>

#include "engine/columns/column.hpp"
#include "engine/validate.hpp"

namespace quorbix::engine {

struct Table {
    std::vector<std::string> names;
    std::size_t rows = 0;
    std::vector<Column> columns;
    ValidationReport structure;
};

}  // namespace quorbix::engine
