// The module's functions, in the order they are added to the module.
#pragma once

#include <Python.h>

namespace quorbix::lib {

extern PyMethodDef validate_function;

}  // namespace quorbix::lib
