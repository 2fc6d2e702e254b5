// Shared pieces of the Result conversions, used by repr and comparison too.
#pragma once

#include <string>
#include <string_view>

#include "lib/pending_error.hpp"
#include "lib/py_item.hpp"

namespace quorbix::lib {

// A ScalarLike item's text: UTF-8 (else the standard ValueError), trimmed.
Expected<std::string> scalar_text(const PyItem& item);

// The natural value: None, int, float, str, dict of Results, list of Results.
Expected<PyRef> value_of(const PyItems& items);

// New str objects: from UTF-8, and from bytes with invalid sequences replaced.
PyRef new_str(std::string_view utf8);
PyRef new_str_replacing(std::string_view bytes);

// `object`, or the interpreter's pending error when it is null.
Expected<PyRef> checked(PyRef object);

}  // namespace quorbix::lib
