// The single-path road shared by get, get_bytes, get_buffer and the Path
// methods: scan, then wrap the matches in a Result.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "engine/engine_match.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::lib {

// The ValueError for an ambiguous path.
PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous);

// A new Result with no items.
Expected<PyRef> empty_result();

// The three ways a document is read for a scan: a str and a bytes in place,
// a buffer through a view held for the scan only. Argument checks and
// messages as the entry points give them.
enum class DocumentKind { Str, Bytes, Buffer };

// A document's text for one scan, and the object whose bytes range-mode
// matches may point into: null when the scan must copy (a buffer, a UTF-16
// copy, or when `ranges` is off). `hold` keeps the text readable; its view
// should be released right after the scan.
struct ScanInput {
    DocumentText text;
    PyObject* range_document = nullptr;
};
Expected<ScanInput> scan_input(PyObject* data, DocumentKind kind, bool ranges, DocumentHold& hold);

Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path);

// The first steps of every road: binds (data, path or paths) and checks the
// kind of `data` (str and bytes entries only).
std::optional<PendingError> bind_document_call(const Signature& signature, DocumentKind kind,
                                               PyObject* const* args, Py_ssize_t nargs,
                                               PyObject* kwnames, PyObject* (&bound)[2]);

// The TypeError for a document of the wrong kind (str and bytes entries);
// nothing when `data` is of the kind.
std::optional<PendingError> check_document_kind(PyObject* data, DocumentKind kind);

}  // namespace quorbix::lib
