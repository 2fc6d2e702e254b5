// The module's functions, in the order they are added to the module.
#pragma once

#include <Python.h>

namespace quorbix::lib {

// A function of the fast calling convention with keywords, as a method table
// entry wants it.
using FastCallWithKeywords = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction as_method(FastCallWithKeywords function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

extern PyMethodDef get_function;
extern PyMethodDef get_bytes_function;
extern PyMethodDef get_buffer_function;
extern PyMethodDef get_many_function;
extern PyMethodDef get_many_bytes_function;
extern PyMethodDef get_many_buffer_function;
extern PyMethodDef parse_function;
extern PyMethodDef compile_function;
extern PyMethodDef validate_function;

}  // namespace quorbix::lib
