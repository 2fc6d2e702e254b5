// The exception for a broken internal invariant. It derives from
// BaseException so that `except Exception` does not swallow it, and it is not
// exported: no caller is meant to handle it.
#pragma once

#include <Python.h>

#include <string>

#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// The class, created on first use and kept for the life of the process;
// nullptr (with an exception set) if it cannot be created.
PyObject* internal_error_type();

// A pending InternalError whose message begins with `invariant`.
PendingError internal_error(const std::string& invariant);

}  // namespace quorbix::lib
