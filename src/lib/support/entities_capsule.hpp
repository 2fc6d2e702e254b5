// The general entities a document declares, held by a Python object: the
// context tuple a Result's slices refer to, or a stream's, handed to the
// tables it reads its rows in. The capsule keeps them alive.
#pragma once

#include <Python.h>

#include <memory>

#include "lib/support/py_ref.hpp"
#include "xml/entities.hpp"

namespace quorbix::lib {

using SharedEntities = std::shared_ptr<const xml::Entities>;

// The entities as a capsule, None when there are none; null, with the
// exception set, when it cannot be made.
PyRef entities_object(const SharedEntities& entities);

// Those a capsule made by entities_object holds; null for anything else.
const SharedEntities* entities_held(PyObject* object);

}  // namespace quorbix::lib
