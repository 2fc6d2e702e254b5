// The Python class Path: a path compiled once and used many times.
#pragma once

#include <Python.h>

#include <optional>

#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"

namespace quorbix::lib {

// The class object, created on first use; nullptr with an exception set if
// it cannot be made.
PyObject* path_type();

// A new Path holding `text` and its compiled form.
Expected<PyRef> make_path(std::string_view text, path::CompiledPathRef compiled,
                          std::optional<path::NamespaceMap> namespaces = std::nullopt);

// Whether `object` is a Path (the class is final, so exactly one).
bool is_path(PyObject* object);

// The compiled path a Path holds.
const path::CompiledPathRef& compiled_path_of(PyObject* path);

}  // namespace quorbix::lib
