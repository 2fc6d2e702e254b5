// The Python class Table: the columns of a table read out of a document,
// held in the core's buffers. It hands them to Arrow libraries through the
// Arrow PyCapsule protocol (`__arrow_c_stream__`) without a copy, and to
// Python as lists of texts.
#pragma once

#include <Python.h>

#include <memory>

#include "engine/columns/table.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// The class object, created on first use; nullptr with an exception set if
// it cannot be made.
PyObject* table_type();

Expected<PyRef> make_table(std::shared_ptr<const engine::Table> table);

}  // namespace quorbix::lib
