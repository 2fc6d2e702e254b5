// The single-path road shared by get, get_bytes, get_buffer and the Path
// methods: scan, then wrap the matches in a Result.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "engine/engine_match.hpp"
#include "lib/document.hpp"
#include "lib/pending_error.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::lib {

// Evaluates `path` over a document's text. In range mode `document` is the
// object the bytes belong to, and element matches become slices of it; in
// copy mode (document null) every element is copied.
Expected<PyRef> query_result(const DocumentText& text, const path::CompiledPath& path,
                             PyObject* document);

// The ValueError for an ambiguous path.
PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous);

// A new Result with no items.
Expected<PyRef> empty_result();

// The three ways a document is read for a single path: a str and a bytes are
// scanned in place (range mode), a buffer through a view held for the scan
// only (copy mode). Argument checks and messages as the entry points give them.
enum class DocumentKind { Str, Bytes, Buffer };
Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path);

// The TypeError for a document of the wrong kind (str and bytes entries);
// nothing when `data` is of the kind.
std::optional<PendingError> check_document_kind(PyObject* data, DocumentKind kind);

}  // namespace quorbix::lib
