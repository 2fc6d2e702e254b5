// Path texts from Python: the str argument and its compiled form.
#pragma once

#include <Python.h>

#include <string_view>

#include "engine/engine_match.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::lib {

// The UTF-8 form of a str argument named `name`; a TypeError in the binding's
// form for anything else, the interpreter's error for a str without one.
Expected<std::string_view> str_argument(PyObject* object, const char* name);

// The compiled path through this thread's cache; a ValueError with the
// compiler's message for a malformed text.
Expected<path::CompiledPathRef> compile_text(std::string_view text);

// The ValueError for an ambiguous path.
PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous);

}  // namespace quorbix::lib
