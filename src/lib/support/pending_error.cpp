#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

PendingError PendingError::fetch() {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PendingError error;
    error.fetched_type_ = PyRef(type);
    error.fetched_value_ = PyRef(value);
    error.fetched_traceback_ = PyRef(traceback);
    return error;
}

void PendingError::raise() {
    if (fetched_type_) {
        PyErr_Restore(fetched_type_.release(), fetched_value_.release(),
                      fetched_traceback_.release());
        return;
    }
    PyRef text(
        PyUnicode_FromStringAndSize(message_.data(), static_cast<Py_ssize_t>(message_.size())));
    if (text) PyErr_SetObject(type_, text.get());
}

}  // namespace quorbix::lib
