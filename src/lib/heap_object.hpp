// Instances of the module's classes: a C++ part living in memory that the
// interpreter allocates for a type made by PyType_FromSpec. Each class declares
//   struct XObject { PyObject ob_base; XFields fields; };
// and these two templates build and destroy the `fields` part.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "lib/pending_error.hpp"

namespace quorbix::lib {

// A new instance of `type` (nullptr: the class could not be made, with its
// exception set) whose fields are built from `fields`.
template <class Object, class Fields>
Expected<PyRef> new_instance(PyObject* type, Fields&& fields) {
    if (type == nullptr) return PendingError::fetch();
    auto* cls = reinterpret_cast<PyTypeObject*>(type);
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(cls, Py_tp_alloc));
    PyObject* self = alloc(cls, 0);
    if (self == nullptr) return PendingError::fetch();
    new (&reinterpret_cast<Object*>(self)->fields) decltype(Object::fields)(
        std::forward<Fields>(fields));
    return PyRef(self);
}

// The deallocation slot: destroys the fields, frees the memory, and drops the
// reference every instance of a heap type holds on its type.
template <class Object>
void delete_instance(PyObject* self) {
    using FieldsType = decltype(Object::fields);
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<Object*>(self)->fields.~FieldsType();
    auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

}  // namespace quorbix::lib
