// Binding of call arguments to named parameters, shared by every function and
// method of the module so that every message has the interpreter's shape.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "lib/document/document.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// A callable's name as messages show it ("get()", "Path.get()") and its
// parameters, each positional-or-keyword; the last `optional` of them may be
// left out (bound as null), the others are required.
struct Signature {
    const char* display_name;
    const char* const* parameters;
    std::size_t parameter_count;
    std::size_t optional = 0;
};

// Fills `bound` (borrowed references, one per parameter) from a fast call's
// positional arguments and keyword names.
std::optional<PendingError> bind_arguments(const Signature& signature, PyObject* const* args,
                                           Py_ssize_t nargs, PyObject* kwnames, PyObject** bound);

// The message of a failed instance check: "'bytes' object is not an instance
// of 'str'", or "'None' is not an instance of 'str'".
std::string instance_check_message(PyObject* object, const char* target);

// A TypeError for an argument that failed its instance check, in the form
// "argument 'data': 'bytes' object is not an instance of 'str'".
PendingError argument_type_error(const char* name, PyObject* object, const char* target);

// The first steps of a call of (data, path or paths): binds by `signature`
// and checks the kind of `data` (str and bytes entries only).
std::optional<PendingError> bind_document_call(const Signature& signature, DocumentKind kind,
                                               PyObject* const* args, Py_ssize_t nargs,
                                               PyObject* kwnames, PyObject** bound);

// The TypeError for a document of the wrong kind (str and bytes entries);
// nothing when `data` is of the kind.
std::optional<PendingError> check_document_kind(PyObject* data, DocumentKind kind);

}  // namespace quorbix::lib
