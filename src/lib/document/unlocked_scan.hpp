// Scans that give the interpreter lock up, and that Ctrl-C stops. The bytes
// of a bytes or str document never change while referenced, nor do the
// module's own copies, so other threads may run Python while the core reads
// them; a buffer's exporter may change its bytes at any time, so a scan of a
// held view keeps the lock. No Python object is touched between release and
// reacquisition: the scan takes string views and gives back plain C++ values.
#pragma once

#include <Python.h>

#include <cstddef>
#include <optional>
#include <utility>

#include "lib/document/document.hpp"
#include "lib/support/pending_error.hpp"
#include "xml/scan_progress.hpp"

namespace quorbix::lib {

// Below this many bytes a scan keeps the lock: handing it over and back
// costs about 430 instructions (a mutex, a condition variable, two atomic
// exchanges), measured at 8% of a call on a 5 kB document whose answer
// stands near its start, while a whole scan of 64 kB holds the lock for
// tens of microseconds at most.
inline constexpr std::size_t unlocked_scan_bytes = 64 * 1024;

// Holds the lock released from construction to destruction, also when the
// scan throws (a failed allocation is turned into MemoryError only once the
// lock is back).
class LockReleased {
  public:
    explicit LockReleased(bool release) : state_(release ? PyEval_SaveThread() : nullptr) {}
    LockReleased(const LockReleased&) = delete;
    LockReleased& operator=(const LockReleased&) = delete;
    ~LockReleased() { retake(); }

    // Takes the lock back for a moment (a no-op when it was never released).
    void retake() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }
    void release_again() {
        if (state_ != nullptr) state_ = PyEval_SaveThread();
    }

  private:
    PyThreadState* state_;
};

// Runs the signal handlers, as the interpreter does between two bytecodes,
// at every progress check of a long scan in the main thread (other threads
// leave signals to it, as Python's own rules have it). What a handler raises
// (KeyboardInterrupt, by default) stops the scan and is kept to be raised
// once the call has released what it holds.
class SignalWatch {
  public:
    // Made under the lock, before the scan: whether to watch it at all.
    explicit SignalWatch(std::size_t bytes);
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Watches from here on, retaking `lock` for the handlers.
    void start(LockReleased& lock);
    // What a handler raised, taken out of the watch.
    std::optional<PendingError> take_error() { return std::exchange(error_, std::nullopt); }

  private:
    static bool go_on(void* context);

    bool watch_ = false;
    LockReleased* lock_ = nullptr;
    std::optional<PendingError> error_;
    std::optional<xml::ProgressHook> hook_;
};

// Runs `scan` over `bytes`, read through `hold`, without the lock when that
// is safe and worth it; returns what `scan` returns, or what a signal handler
// raised meanwhile (the unfinished answer is dropped).
template <class Scan>
auto scan_unlocked(const DocumentHold& hold, std::size_t bytes, Scan&& scan)
    -> Expected<decltype(scan())> {
    SignalWatch watch(bytes);
    std::optional<decltype(scan())> outcome;
    {
        LockReleased released(!hold.view.held() && bytes >= unlocked_scan_bytes);
        watch.start(released);
        outcome.emplace(std::forward<Scan>(scan)());
    }
    if (auto error = watch.take_error()) return std::move(*error);
    return std::move(*outcome);
}

}  // namespace quorbix::lib
