// The module's functions, in the order they are added to the module.
#pragma once

#include <Python.h>

#include "lib/calls/arguments.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// A road shared by several module functions: binds the arguments by
// `signature` and reads documents of `kind`.
using Road = Expected<PyRef> (*)(const Signature& signature, DocumentKind kind,
                                 PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The module function that takes `road` with its own signature and kind.
template <Road road, const Signature& signature, DocumentKind kind>
PyObject* road_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(road(signature, kind, args, nargs, kwnames));
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
