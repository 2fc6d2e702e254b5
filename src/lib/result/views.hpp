// The dict-like views of a DictElement Result: keys(), values(), items() and
// children(). A view holds only its parent and reads it afresh at each use.
#pragma once

#include <Python.h>

namespace quorbix::lib {

// The class objects, created on first use.
PyObject* keys_view_type();
PyObject* values_view_type();
PyObject* items_view_type();
PyObject* children_view_type();

namespace result_slots {
PyObject* keys(PyObject* self, PyObject*);
PyObject* values(PyObject* self, PyObject*);
PyObject* items(PyObject* self, PyObject*);
PyObject* children(PyObject* self, PyObject*);
}  // namespace result_slots

}  // namespace quorbix::lib
