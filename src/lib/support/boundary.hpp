// Where Python calls into the module. No C++ exception crosses it: a failed
// allocation becomes MemoryError and anything else an InternalError, after
// the owners of everything the call held have released it on the way out.
#pragma once

#include <Python.h>

#include <new>
#include <stdexcept>
#include <type_traits>

#include "lib/support/internal_error.hpp"

namespace quorbix::lib {

template <auto Function>
struct Boundary;

template <class R, class... Args, R (*Function)(Args...)>
struct Boundary<Function> {
    static R call(Args... args) noexcept {
        try {
            return Function(args...);
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::length_error&) {  // a size past what a container can hold
            PyErr_NoMemory();
        } catch (...) {
            if (PyObject* type = internal_error_type())
                PyErr_SetString(type, "a C++ exception reached the module's boundary");
        }
        if constexpr (std::is_pointer_v<R>)
            return nullptr;
        else
            return static_cast<R>(-1);
    }
};

// `Function` behind the boundary, as a getter wants it.
template <auto Function>
inline constexpr auto guarded = &Boundary<Function>::call;

// The same as a type slot wants it.
template <auto Function>
void* slot() {
    return reinterpret_cast<void*>(guarded<Function>);
}

// The same as a method table wants it (any calling convention).
template <auto Function>
PyCFunction method() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<Function>));
}

}  // namespace quorbix::lib
