#include "lib/functions/table_object.hpp"

#include <string>

#include "engine/columns/arrow_export.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/heap_object.hpp"

namespace quorbix::lib {
namespace {

struct TableFields {
    std::shared_ptr<const engine::Table> table;
};

struct TableObject {
    PyObject ob_base;
    TableFields fields;
};

const engine::Table& as_table(PyObject* object) {
    return *reinterpret_cast<TableObject*>(object)->fields.table;
}

PyRef text_object(std::string_view text) {
    return PyRef(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

// Items made between two runs of the signal handlers: a column of millions
// of cells takes seconds, and Ctrl-C should not wait for it.
constexpr std::size_t items_between_signal_checks = 1 << 16;

// A list of `size` items, `item(i)` making each. Null, with the exception
// set, when an item or the list cannot be made, or a signal handler raised.
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

PyRef cells_of(const engine::Column& column) {
    if (column.lists())
        return list_of(column.size(), [&](std::size_t row) {
            std::size_t first = column.list_start(row);
            return list_of(column.list_start(row + 1) - first,
                           [&](std::size_t i) { return text_object(column.text(first + i)); });
        });
    return list_of(column.size(), [&](std::size_t row) {
        return column.has_text(row) ? text_object(column.text(row)) : PyRef::borrow(Py_None);
    });
}

// The column a key names: its index among the columns, or its name.
Expected<std::size_t> column_at(const engine::Table& table, PyObject* key) {
    if (PyLong_Check(key)) {
        Py_ssize_t i = PyLong_AsSsize_t(key);
        if (i == -1 && PyErr_Occurred()) return PendingError::fetch();
        if (i >= 0 && static_cast<std::size_t>(i) < table.columns.size())
            return static_cast<std::size_t>(i);
        return PendingError(PyExc_IndexError, "column index out of range");
    }
    if (!PyUnicode_Check(key)) return argument_type_error("column", key, "str");
    Py_ssize_t size = 0;
    const char* name = PyUnicode_AsUTF8AndSize(key, &size);
    if (name == nullptr) return PendingError::fetch();
    std::string_view wanted(name, static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < table.names.size(); ++i)
        if (table.names[i] == wanted) return i;
    return PendingError(PyExc_KeyError, std::string(wanted));
}

constexpr const char* column_parameters[] = {"column"};

Expected<PyRef> column(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"Table.column()", column_parameters, 1};
    PyObject* key;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &key))
        return std::move(*error);
    const engine::Table& table = as_table(self);
    auto at = column_at(table, key);
    if (!at.ok()) return std::move(at.error());
    PyRef cells = cells_of(table.columns[at.value()]);
    if (!cells) return PendingError::fetch();
    return cells;
}

PyObject* table_column(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(column(self, args, nargs, kwnames));
}

void release_stream_capsule(PyObject* capsule) {
    auto* stream =
        static_cast<ArrowArrayStream*>(PyCapsule_GetPointer(capsule, "arrow_array_stream"));
    if (stream == nullptr) {
        PyErr_Clear();
        return;
    }
    if (stream->release != nullptr) stream->release(stream);
    delete stream;
}

// The table as an Arrow stream of one batch. A requested schema is a
// request the protocol lets a producer decline: the columns keep the types
// their cells settled, and a consumer casts them.
Expected<PyRef> arrow_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    (void)args;
    bool requested_by_name =
        kwnames != nullptr && PyTuple_Size(kwnames) == 1 &&
        PyUnicode_CompareWithASCIIString(PyTuple_GetItem(kwnames, 0), "requested_schema") == 0;
    Py_ssize_t given = nargs + (kwnames ? PyTuple_Size(kwnames) : 0);
    if (given > 1 || (kwnames != nullptr && PyTuple_Size(kwnames) > 0 && !requested_by_name))
        return PendingError(PyExc_TypeError,
                            "__arrow_c_stream__() takes one optional argument, requested_schema");
    auto* stream = new ArrowArrayStream;
    engine::export_table(reinterpret_cast<TableObject*>(self)->fields.table, stream);
    PyRef capsule(PyCapsule_New(stream, "arrow_array_stream", release_stream_capsule));
    if (!capsule) {
        stream->release(stream);
        delete stream;
        return PendingError::fetch();
    }
    return capsule;
}

PyObject* table_arrow_stream(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return finish(arrow_stream(self, args, nargs, kwnames));
}

PyObject* table_names(PyObject* self, void*) {
    const engine::Table& table = as_table(self);
    return list_of(table.names.size(), [&](std::size_t i) { return text_object(table.names[i]); })
        .release();
}

PyObject* table_rows(PyObject* self, void*) {
    return PyLong_FromSize_t(as_table(self).rows);
}

// Each column's type as the core settled it (engine::ColumnType as a
// number), for the frames built in Python.
PyObject* table_types(PyObject* self, void*) {
    const engine::Table& table = as_table(self);
    return list_of(table.columns.size(),
                   [&](std::size_t i) {
                       const engine::Column& column = table.columns[i];
                       long type = column.lists() ? -1 : static_cast<long>(column.type());
                       return PyRef(PyLong_FromLong(type));
                   })
        .release();
}

Py_ssize_t table_length(PyObject* self) {
    return static_cast<Py_ssize_t>(as_table(self).rows);
}

PyObject* table_repr(PyObject* self) {
    const engine::Table& table = as_table(self);
    std::string text = "<quorbix.Table rows=" + std::to_string(table.rows) + " columns=[";
    for (std::size_t i = 0; i < table.names.size(); ++i)
        text += (i ? ", '" : "'") + table.names[i] + "'";
    text += "]>";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyGetSetDef table_getset[] = {
    {"column_names", guarded<table_names>, nullptr, "The columns' names, in order.", nullptr},
    {"num_rows", guarded<table_rows>, nullptr, "How many rows the table has.", nullptr},
    {"_types", guarded<table_types>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef table_methods[] = {
    {"column", method<table_column>(), METH_FASTCALL | METH_KEYWORDS,
     "column($self, column)\n--\n\n"
     "One column's cells, by name or index: the texts as records has them (None\n"
     "where a row has no match; a list of texts per row in a list column)."},
    {"__arrow_c_stream__", method<table_arrow_stream>(), METH_FASTCALL | METH_KEYWORDS,
     "__arrow_c_stream__($self, requested_schema=None)\n--\n\n"
     "The table as an Arrow C stream in a PyCapsule, for pyarrow.table(),\n"
     "polars.DataFrame() and DuckDB."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot table_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<TableObject>)},
    {Py_tp_repr, slot<table_repr>()},
    {Py_tp_methods, table_methods},
    {Py_tp_getset, table_getset},
    {Py_sq_length, slot<table_length>()},
    {Py_tp_doc,
     const_cast<char*>("The columns of a table read out of a document, typed as their cells\n"
                       "settle it. pyarrow.table(t), polars.DataFrame(t) and DuckDB read it\n"
                       "without a copy, through the Arrow PyCapsule protocol.")},
    {0, nullptr},
};

// Final, not instantiable from Python, and outside the garbage collector:
// it holds no Python objects.
PyType_Spec table_spec = {
    "quorbix._quorbix.Table", sizeof(TableObject), 0, class_flags(false), table_slots,
};

}  // namespace

PyObject* table_type() {
    static PyObject* type = nullptr;  // made under the interpreter lock, as path_type
    if (type == nullptr) type = PyType_FromSpec(&table_spec);
    return type;
}

Expected<PyRef> make_table(std::shared_ptr<const engine::Table> table) {
    return new_instance<TableObject>(table_type(), TableFields{std::move(table)});
}

}  // namespace quorbix::lib
