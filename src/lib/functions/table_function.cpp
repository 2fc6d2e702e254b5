// _table(data, rows, columns): the columns of a table read out of a document,
// for records() and read_xml() in the package. `rows` is a list of one path,
// `columns` a list of paths or None (the rows' attributes and leaf children).
// Answers (names, cells, rows, kinds): the names found (None when paths were
// given), one list per column of a str or None per row, the number of rows,
// and each column's kind (0 text, 1 number, 2 other: see engine::ColumnKind).
#include "engine/records.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/many_paths.hpp"
#include "lib/functions/module_functions.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data", "rows", "columns"};
constexpr Signature signature{"_table()", parameters, 3};

PyRef cell_object(const std::optional<std::string>& cell) {
    if (!cell) return PyRef::borrow(Py_None);
    return PyRef(PyUnicode_FromStringAndSize(cell->data(), static_cast<Py_ssize_t>(cell->size())));
}

Expected<PyRef> new_list(std::size_t size) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(size)));
    if (!list) return PendingError::fetch();
    return list;
}

// The cells of `table`, `width` columns wide, as one list per column; a
// column whose path was empty (`given` false) holds None in every row.
Expected<PyRef> column_lists(const engine::Table& table, const std::vector<bool>& given) {
    auto columns = new_list(given.size());
    if (!columns.ok()) return columns;
    std::size_t width = table.rows == 0 ? 0 : table.cells.size() / table.rows;
    for (std::size_t c = 0, cell = 0; c < given.size(); ++c) {
        auto column = new_list(table.rows);
        if (!column.ok()) return column;
        for (std::size_t r = 0; r < table.rows; ++r) {
            PyRef value =
                given[c] ? cell_object(table.cells[r * width + cell]) : PyRef::borrow(Py_None);
            if (!value) return PendingError::fetch();
            PyList_SetItem(column.value().get(), static_cast<Py_ssize_t>(r), value.release());
        }
        if (given[c]) ++cell;
        PyList_SetItem(columns.value().get(), static_cast<Py_ssize_t>(c), column.value().release());
    }
    return columns;
}

// Each column's kind (engine::ColumnKind as a number); a column whose path
// was empty is of no kind pandas settles cheaply.
Expected<PyRef> column_kinds(const engine::Table& table, const std::vector<bool>& given) {
    auto kinds = new_list(given.size());
    if (!kinds.ok()) return kinds;
    std::size_t width = table.rows == 0 ? 0 : table.cells.size() / table.rows;
    for (std::size_t c = 0, cell = 0; c < given.size(); ++c) {
        engine::ColumnKind kind =
            given[c] ? engine::column_kind(table, cell++, width) : engine::ColumnKind::Other;
        PyRef number(PyLong_FromLong(static_cast<long>(kind)));
        if (!number) return PendingError::fetch();
        PyList_SetItem(kinds.value().get(), static_cast<Py_ssize_t>(c), number.release());
    }
    return kinds;
}

Expected<PyRef> names_list(const std::vector<std::string>& names) {
    auto list = new_list(names.size());
    if (!list.ok()) return list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        PyRef name(
            PyUnicode_FromStringAndSize(names[i].data(), static_cast<Py_ssize_t>(names[i].size())));
        if (!name) return PendingError::fetch();
        PyList_SetItem(list.value().get(), static_cast<Py_ssize_t>(i), name.release());
    }
    return list;
}

Expected<PyRef> table(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[3];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    auto [data, rows_list, columns_list] = bound;
    if (!PyList_Check(rows_list) || PyList_Size(rows_list) != 1)
        return argument_type_error("rows", rows_list, "list");
    bool by_children = columns_list == Py_None;
    if (!by_children && !PyList_Check(columns_list))
        return argument_type_error("columns", columns_list, "list");
    auto rows = path_entries(rows_list);
    if (!rows.ok()) return std::move(rows.error());
    PathEntries entries;
    if (!by_children) {
        auto columns = path_entries(columns_list);
        if (!columns.ok()) return std::move(columns.error());
        entries = std::move(columns.value());
    }
    std::vector<bool> given;
    for (const auto& entry : entries) given.push_back(entry != nullptr);
    std::vector<const path::CompiledPath*> paths = compiled_of(entries);

    DocumentHold hold;
    auto text = read_any_text(data, hold);
    if (!text.ok()) return std::move(text.error());
    const DocumentText& document = text.value();
    const path::CompiledPath* row_path = rows.value().front().get();
    engine::TableOutcome outcome = scan_unlocked(hold, document.bytes.size(), [&] {
        if (row_path == nullptr) return engine::TableOutcome{engine::Table{}};
        return by_children
                   ? engine::read_table_of_children(document.bytes, document.encoding, *row_path)
                   : engine::read_table(document.bytes, document.encoding, *row_path, paths);
    });
    hold.view.release();  // every cell is a copy
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    const engine::Table& result = std::get<engine::Table>(outcome);
    if (by_children) given.assign(result.columns.size(), true);
    auto cells = column_lists(result, given);
    if (!cells.ok()) return cells;
    PyRef names = by_children ? PyRef() : PyRef::borrow(Py_None);
    if (by_children) {
        auto found = names_list(result.columns);
        if (!found.ok()) return found;
        names = std::move(found.value());
    }
    PyRef rows_count(PyLong_FromSize_t(result.rows));
    if (!rows_count) return PendingError::fetch();
    auto kinds = column_kinds(result, given);
    if (!kinds.ok()) return kinds;
    PyRef answer(
        PyTuple_Pack(4, names.get(), cells.value().get(), rows_count.get(), kinds.value().get()));
    if (!answer) return PendingError::fetch();
    return answer;
}

PyObject* table_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(table(args, nargs, kwnames));
}

}  // namespace

PyMethodDef table_function = {"_table", method<table_entry>(), METH_FASTCALL | METH_KEYWORDS,
                              "_table(data, rows, columns)\n--\n\n"};

}  // namespace quorbix::lib
