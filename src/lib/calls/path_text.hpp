// Path texts from Python: the str argument and its compiled form.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "engine/engine_match.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"

namespace quorbix::lib {

// The UTF-8 form of a str argument named `name`; a TypeError in the binding's
// form for anything else, the interpreter's error for a str without one.
Expected<std::string_view> str_argument(PyObject* object, const char* name);

// The compiled path through this thread's cache, under `namespaces` when
// given; a ValueError with the compiler's message for a malformed text.
Expected<path::CompiledPathRef> compile_text(std::string_view text,
                                             const path::NamespaceMap* namespaces = nullptr);

// A `namespaces` argument: nothing for None (or when left out), else a
// mapping of str prefixes to str URIs.
Expected<std::optional<path::NamespaceMap>> namespaces_argument(PyObject* object);

// The ValueError for an ambiguous path.
PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous);

}  // namespace quorbix::lib
