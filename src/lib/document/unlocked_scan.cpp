#include "lib/document/unlocked_scan.hpp"

#include "lib/support/py_ref.hpp"

namespace quorbix::lib {
namespace {

// The ident of the interpreter's main thread, asked once (under the lock);
// 0 when it cannot be known, and then no thread is taken for it.
unsigned long main_thread_ident() {
    static unsigned long ident = 0;
    static bool asked = false;
    if (asked) return ident;
    asked = true;
    PyRef threading(PyImport_ImportModule("threading"));
    PyRef main(threading ? PyObject_CallMethod(threading.get(), "main_thread", nullptr) : nullptr);
    PyRef number(main ? PyObject_GetAttrString(main.get(), "ident") : nullptr);
    if (number) ident = PyLong_AsUnsignedLong(number.get());
    if (PyErr_Occurred()) {
        PyErr_Clear();
        ident = 0;
    }
    return ident;
}

}  // namespace

// A reader of fewer bytes never comes to a check.
SignalWatch::SignalWatch(std::size_t bytes)
    : watch_(bytes > xml::progress_interval && PyThread_get_thread_ident() == main_thread_ident()) {
}

void SignalWatch::start(LockReleased& lock) {
    lock_ = &lock;
    if (watch_) hook_.emplace(go_on, this);
}

bool SignalWatch::go_on(void* context) {
    auto* watch = static_cast<SignalWatch*>(context);
    watch->lock_->retake();
    bool go_on = PyErr_CheckSignals() == 0;
    if (!go_on) watch->error_ = PendingError::fetch();
    watch->lock_->release_again();
    return go_on;
}

}  // namespace quorbix::lib
