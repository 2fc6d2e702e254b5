// Instances of the module's classes: a C++ part living in memory that the
// interpreter allocates for a type made by PyType_FromSpec. Each class declares
//   struct XObject { PyObject ob_base; XFields fields; };
// and these two templates build and destroy the `fields` part.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// A new instance of `type` (nullptr: the class could not be made, with its
// exception set) whose fields are built from `fields`.
template <class Object, class... Fields>
Expected<PyRef> new_instance(PyObject* type, Fields&&... fields) {
    if (type == nullptr) return PendingError::fetch();
    auto* cls = reinterpret_cast<PyTypeObject*>(type);
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(cls, Py_tp_alloc));
    PyObject* self = alloc(cls, 0);
    if (self == nullptr) return PendingError::fetch();
    new (&reinterpret_cast<Object*>(self)->fields) decltype(Object::fields)(
        std::forward<Fields>(fields)...);
    return PyRef(self);
}

// The deallocation slot: destroys the fields, frees the memory, and drops the
// reference every instance of a heap type holds on its type.
template <class Object>
void delete_instance(PyObject* self) {
    using FieldsType = decltype(Object::fields);
    PyTypeObject* type = Py_TYPE(self);
    if (PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) PyObject_GC_UnTrack(self);
    reinterpret_cast<Object*>(self)->fields.~FieldsType();
    auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    Py_DECREF(type);
}

// Classes whose fields hold Python references (a Result its documents, a
// view or an iterator its Result) take part in garbage collection, so that a
// reference cycle through a document is collected. Their fields offer
// `visit_references(fields, visit, arg)`; the class that breaks cycles also
// offers `drop_references(fields)`.
template <class Object>
int traverse_instance(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));  // instances of heap types refer to their type
    return visit_references(reinterpret_cast<Object*>(self)->fields, visit, arg);
}

template <class Object>
int clear_instance(PyObject* self) {
    drop_references(reinterpret_cast<Object*>(self)->fields);
    return 0;
}

inline int visit_references(const PyRef& ref, visitproc visit, void* arg) {
    Py_VISIT(ref.get());
    return 0;
}

// The flags of every class of the module: final, immutable, made only by the
// module itself; `gc` for those that hold Python references.
constexpr unsigned int class_flags(bool gc) {
    return Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE |
           (gc ? Py_TPFLAGS_HAVE_GC : 0);
}

}  // namespace quorbix::lib
