// Owners of Python references, so that every exit path releases them.
#pragma once

#include <Python.h>

#include <utility>

namespace quorbix::lib {

// One strong reference, released when the owner goes.
class PyRef {
  public:
    PyRef() = default;
    explicit PyRef(PyObject* owned) : object_(owned) {}
    static PyRef borrow(PyObject* borrowed) {
        Py_XINCREF(borrowed);
        return PyRef(borrowed);
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }
    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

  private:
    PyObject* object_ = nullptr;
};

}  // namespace quorbix::lib
