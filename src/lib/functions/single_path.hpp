// One path over one document, as get, get_bytes, get_buffer and the Path
// methods ask it: bind, compile, scan, then wrap the matches in a Result.
#pragma once

#include <Python.h>

#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::lib {

// The Result of `path` over `data`, a document of `kind`.
Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path);

// A call of (data, path) bound by `signature`: the empty path answers at
// once, with nothing compiled and the document unread.
Expected<PyRef> single_path(const Signature& signature, DocumentKind kind, PyObject* const* args,
                            Py_ssize_t nargs, PyObject* kwnames);

}  // namespace quorbix::lib
