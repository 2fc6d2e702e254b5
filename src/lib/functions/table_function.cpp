// _table(data, rows, columns): the columns of a table read out of a document,
// for records() and read_xml() in the package. `rows` is a list of one path,
// `columns` a list of paths or None (the rows' attributes and leaf children).
// Answers (names, cells, rows, kinds, problem): the names found (None when
// paths were given), one list per column of a str or None per row, the number
// of rows, each column's kind (0 text, 1 number, 2 other: see
// engine::ColumnKind), and None for a well-formed document, else where and
// why it is not (report_object), found by the scan that found the rows.
#include "engine/records.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/many_paths.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/report_object.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data", "rows", "columns"};
constexpr Signature signature{"_table()", parameters, 3};

// Items made between two runs of the signal handlers: a column of millions
// of cells takes seconds, and Ctrl-C should not wait for it.
constexpr std::size_t items_between_signal_checks = 1 << 16;

// A list of `size` items, `item(i)` making each. Null, with the exception
// set, when an item (null, the exception set) or the list cannot be made, or
// a signal handler raised.
template <class Item>
PyRef list_of(std::size_t size, Item item) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(size)));
    for (std::size_t i = 0; list && i < size; ++i) {
        if (i % items_between_signal_checks == items_between_signal_checks - 1 &&
            PyErr_CheckSignals() != 0)
            return PyRef();
        PyRef value = item(i);
        if (!value) return PyRef();
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), value.release());
    }
    return list;
}

PyRef text_object(std::string_view text) {
    return PyRef(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// Where each asked column stands among the table's: nothing for an empty
// path, whose column holds None in every row.
using Places = std::vector<std::optional<std::size_t>>;

// The cells, one list per column; then each column's kind
// (engine::ColumnKind as a number; Other for an empty path's).
PyRef column_lists(const engine::Table& table, const Places& places) {
    std::size_t width = table.rows == 0 ? 0 : table.cells.size() / table.rows;
    return list_of(places.size(), [&](std::size_t c) {
        return list_of(table.rows, [&](std::size_t r) {
            const std::optional<std::string>* cell =
                places[c] ? &table.cells[r * width + *places[c]] : nullptr;
            return cell && *cell ? text_object(**cell) : PyRef::borrow(Py_None);
        });
    });
}

PyRef column_kinds(const engine::Table& table, const Places& places) {
    std::size_t width = table.rows == 0 ? 0 : table.cells.size() / table.rows;
    return list_of(places.size(), [&](std::size_t c) {
        engine::ColumnKind kind =
            places[c] ? engine::column_kind(table, *places[c], width) : engine::ColumnKind::Other;
        return PyRef(PyLong_FromLong(static_cast<long>(kind)));
    });
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
    Places places;
    for (std::size_t i = 0, k = 0; i < entries.size(); ++i)
        places.push_back(entries[i] ? std::optional<std::size_t>(k++) : std::nullopt);
    std::vector<const path::CompiledPath*> paths = compiled_of(entries);

    DocumentHold hold;
    auto text = read_any_text(data, hold);
    if (!text.ok()) return std::move(text.error());
    const DocumentText& document = text.value();
    const path::CompiledPath* row_path = rows.value().front().get();
    auto scanned = scan_unlocked(hold, document.bytes.size(), [&] {
        if (row_path == nullptr)
            return engine::TableOutcome{engine::Table{
                {}, 0, {}, engine::validation_report(document.bytes, document.encoding)}};
        return by_children
                   ? engine::read_table_of_children(document.bytes, document.encoding, *row_path)
                   : engine::read_table(document.bytes, document.encoding, *row_path, paths);
    });
    hold.view.release();  // every cell is a copy
    if (!scanned.ok()) return std::move(scanned.error());
    engine::TableOutcome& outcome = scanned.value();
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    const engine::Table& result = std::get<engine::Table>(outcome);
    if (by_children)
        for (std::size_t i = 0; i < result.columns.size(); ++i) places.push_back(i);
    PyRef names = by_children
                      ? list_of(result.columns.size(),
                                [&](std::size_t i) { return text_object(result.columns[i]); })
                      : PyRef::borrow(Py_None);
    if (!names) return PendingError::fetch();
    PyRef cells = column_lists(result, places);
    if (!cells) return PendingError::fetch();
    PyRef count(PyLong_FromSize_t(result.rows));
    PyRef kinds = count ? column_kinds(result, places) : PyRef();
    PyRef problem = kinds ? report_object(result.structure) : PyRef();
    if (!problem) return PendingError::fetch();
    PyRef answer(
        PyTuple_Pack(5, names.get(), cells.get(), count.get(), kinds.get(), problem.get()));
    if (!answer) return PendingError::fetch();
    return answer;
}

}  // namespace

PyMethodDef table_function = {"_table", method<call_entry<table>>(), METH_FASTCALL | METH_KEYWORDS,
                              "_table(data, rows, columns)\n--\n\n"};

}  // namespace quorbix::lib
