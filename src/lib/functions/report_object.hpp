// A validation report as the package's Python code reads it: None for a
// valid document, else (offset, line, column, message). A name in the message
// whose bytes are not UTF-8 comes out escaped. Null, with the exception set,
// when it cannot be made.
#pragma once

#include "engine/validate.hpp"
#include "lib/support/py_ref.hpp"

namespace quorbix::lib {

PyRef report_object(const engine::ValidationReport& report);

}  // namespace quorbix::lib
