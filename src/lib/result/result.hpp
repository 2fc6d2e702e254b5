// The Python class Result: an immutable list of matched items whose mode is
// derived afresh by every operation.
#pragma once

#include <Python.h>

#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

enum class ResultMode { Empty, ScalarLike, DictElement, Multi };

// The word messages use for a mode: "empty", "scalar", "multi".
const char* mode_name(ResultMode mode);

// The class object, created on first use (nullptr with an exception set on
// failure).
PyObject* result_type();

// A new Result owning `items`.
Expected<PyRef> make_result(PyItems items);

// A new Result with no items.
Expected<PyRef> empty_result();

bool is_result(PyObject* object);
const PyItems& items_of(PyObject* result);

// Empty, Multi by count alone; one item is ScalarLike unless it is an element
// with a child element. The element is read through `hold`, which the rest of
// the operation reads it through too.
Expected<ResultMode> mode_of(const PyItems& items, DocumentHold& hold);
// The same, for an operation that reads nothing more.
Expected<ResultMode> mode_of(const PyItems& items);

}  // namespace quorbix::lib
