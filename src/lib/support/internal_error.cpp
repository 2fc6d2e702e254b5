#include "lib/support/internal_error.hpp"

namespace quorbix::lib {

PyObject* internal_error_type() {
    // Created under the interpreter lock, which no call of this module releases.
    static PyObject* type =
        PyErr_NewException("quorbix._quorbix.InternalError", PyExc_BaseException, nullptr);
    return type;
}

PendingError internal_error(const std::string& invariant) {
    PyObject* type = internal_error_type();
    if (type == nullptr) return PendingError::fetch();
    return PendingError(type, invariant);
}

}  // namespace quorbix::lib
