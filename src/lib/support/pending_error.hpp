// A failure on its way to the top of a Python-facing call: an exception type
// and its message, or an exception the interpreter raised, taken out of the
// interpreter so it can travel as a value. It is raised exactly once, at the
// top, after everything the call held has been released.
#pragma once

#include <Python.h>

#include <string>
#include <utility>
#include <variant>

#include "lib/support/py_ref.hpp"

namespace quorbix::lib {

class PendingError {
  public:
    PendingError(PyObject* type, std::string message) : type_(type), message_(std::move(message)) {}

    // Takes the exception the interpreter has just set.
    static PendingError fetch();

    // Sets the exception in the interpreter; the caller then returns NULL.
    void raise();

    PyObject* type() const { return type_; }
    const std::string& message() const { return message_; }

  private:
    PendingError() = default;

    PyObject* type_ = nullptr;  // borrowed: the built-in exception types live forever
    std::string message_;
    PyRef fetched_type_, fetched_value_, fetched_traceback_;
};

// Either a value or the failure that stands in its place.
template <class T>
class Expected {
  public:
    Expected(T value) : state_(std::move(value)) {}
    Expected(PendingError error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    T& value() { return std::get<0>(state_); }
    PendingError& error() { return std::get<1>(state_); }

  private:
    std::variant<T, PendingError> state_;
};

// The end of a Python-facing call: the new reference it returns, or NULL with
// the pending error raised.
inline PyObject* finish(Expected<PyRef> outcome) {
    if (outcome.ok()) return outcome.value().release();
    outcome.error().raise();
    return nullptr;
}

}  // namespace quorbix::lib
