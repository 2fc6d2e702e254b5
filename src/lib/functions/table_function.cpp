// _table(data, rows, columns, names, entities=None): a table read out of a
// document, for records(), table() and read_xml() in the package. `rows` is a
// list of one path, `columns` a list of paths with `names` their names, or
// both None (the rows' attributes and leaf children, named as written).
// `entities`, a stream's (_Stream.entities()), are read in place of the
// document's own: its rows were copied out of the stream's document, whose
// reader reports what they leave unread. Answers (table, problem): a Table,
// and None for a well-formed document, else where and why it is not
// (report_object), found by the scan that found the rows.
#include "engine/records.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/many_paths.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/report_object.hpp"
#include "lib/functions/table_object.hpp"
#include "lib/support/entities_capsule.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data", "rows", "columns", "names", "entities"};
constexpr Signature signature{"_table()", parameters, 5, 1};

// The names of the columns asked for, as UTF-8.
Expected<std::vector<std::string>> column_names(PyObject* names, std::size_t count) {
    if (!PyList_Check(names) || static_cast<std::size_t>(PyList_Size(names)) != count)
        return argument_type_error("names", names, "list");
    std::vector<std::string> out;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* name = PyList_GetItem(names, static_cast<Py_ssize_t>(i));
        Py_ssize_t size = 0;
        const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8AndSize(name, &size) : nullptr;
        if (text == nullptr) {
            if (PyErr_Occurred()) return PendingError::fetch();
            return argument_type_error("names", name, "str");
        }
        out.emplace_back(text, static_cast<std::size_t>(size));
    }
    return out;
}

// An empty path's column holds nothing in every row: it is put in at its
// place among those the scan read.
void add_empty_columns(engine::Table& table, const PathEntries& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!entries[i]) {
            engine::Column empty;
            empty.append_none(table.rows);
            table.columns.insert(table.columns.begin() + static_cast<std::ptrdiff_t>(i),
                                 std::move(empty));
        }
}

Expected<PyRef> table(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[5];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    auto [data, rows_list, columns_list, names_list, entities_given] = bound;
    const SharedEntities* held = entities_held(entities_given);
    SharedEntities entities = held != nullptr ? *held : nullptr;
    if (!PyList_Check(rows_list) || PyList_Size(rows_list) != 1)
        return argument_type_error("rows", rows_list, "list");
    bool by_children = columns_list == Py_None;
    if (!by_children && !PyList_Check(columns_list))
        return argument_type_error("columns", columns_list, "list");
    auto rows = path_entries(rows_list);
    if (!rows.ok()) return std::move(rows.error());
    PathEntries entries;
    std::vector<std::string> names;
    if (!by_children) {
        auto columns = path_entries(columns_list);
        if (!columns.ok()) return std::move(columns.error());
        entries = std::move(columns.value());
        auto given = column_names(names_list, entries.size());
        if (!given.ok()) return std::move(given.error());
        names = std::move(given.value());
    }
    std::vector<const path::CompiledPath*> paths = compiled_of(entries);

    DocumentHold hold;
    auto text = read_any_text(data, hold);
    if (!text.ok()) return std::move(text.error());
    const DocumentText& document = text.value();
    const path::CompiledPath* row_path = rows.value().front().get();
    auto scanned = scan_unlocked(hold, document.bytes.size(), [&] {
        if (row_path == nullptr) {
            engine::Table none;
            none.structure = engine::validation_report(document.bytes, document.encoding);
            return engine::TableOutcome{std::move(none)};
        }
        return by_children ? engine::read_table_of_children(document.bytes, document.encoding,
                                                            *row_path, true, entities)
                           : engine::read_table(document.bytes, document.encoding, *row_path, paths,
                                                true, entities);
    });
    hold.view.release();  // every cell is a copy
    if (!scanned.ok()) return std::move(scanned.error());
    engine::TableOutcome& outcome = scanned.value();
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    auto result = std::make_shared<engine::Table>(std::move(std::get<engine::Table>(outcome)));
    if (!by_children) {
        add_empty_columns(*result, entries);
        result->names = std::move(names);
    }
    PyRef problem = report_object(result->structure);
    if (!problem) return PendingError::fetch();
    auto made = make_table(std::move(result));
    if (!made.ok()) return std::move(made.error());
    PyRef answer(PyTuple_Pack(2, made.value().get(), problem.get()));
    if (!answer) return PendingError::fetch();
    return answer;
}

}  // namespace

PyMethodDef table_function = {"_table", method<call_entry<table>>(), METH_FASTCALL | METH_KEYWORDS,
                              "_table(data, rows, columns, names, entities=None)\n--\n\n"};

}  // namespace quorbix::lib
