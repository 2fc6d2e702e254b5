// Shared pieces of the Result conversions, used by repr and comparison too.
#pragma once

#include <string>
#include <string_view>

#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// A ScalarLike item's text, trimmed.
Expected<ItemText> scalar_text(const PyItem& item, DocumentHold& hold);

// The natural value: None, int, float, str, dict of Results, list of Results;
// the element read through `hold`, as the rest of the operation reads it.
Expected<PyRef> value_of(const PyItems& items, DocumentHold& hold);
Expected<PyRef> value_of(const PyItems& items);

// A new str object from UTF-8.
PyRef new_str(std::string_view utf8);

// `object`, or the interpreter's pending error when it is null.
Expected<PyRef> checked(PyRef object);

}  // namespace quorbix::lib
