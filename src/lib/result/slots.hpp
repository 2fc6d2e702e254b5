// The slots and methods of Result, defined beside the operations they serve
// and gathered into the class in result.cpp.
#pragma once

#include <Python.h>

namespace quorbix::lib::result_slots {

// Conversions.
PyObject* exists(PyObject* self, PyObject*);
PyObject* to_int(PyObject* self, PyObject*);
PyObject* to_float(PyObject* self, PyObject*);
PyObject* to_bool(PyObject* self, PyObject*);
PyObject* to_str(PyObject* self, PyObject*);
PyObject* to_ints(PyObject* self, PyObject*);
PyObject* to_floats(PyObject* self, PyObject*);
PyObject* to_strs(PyObject* self, PyObject*);
PyObject* type_(PyObject* self, void*);
PyObject* value(PyObject* self, void*);
PyObject* as_int(PyObject* self);
PyObject* as_float(PyObject* self);

// Container behaviour and nested queries.
Py_ssize_t length(PyObject* self);
int truth(PyObject* self);
PyObject* item(PyObject* self, PyObject* key);
PyObject* iter(PyObject* self);
PyObject* nested_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* nested_get_many(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames);

// repr and comparison.
PyObject* repr(PyObject* self);
PyObject* richcompare(PyObject* self, PyObject* other, int op);

}  // namespace quorbix::lib::result_slots
