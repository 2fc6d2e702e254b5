// Scans that give the interpreter lock up. The bytes of a bytes or str
// document never change while referenced, nor do the module's own copies, so
// other threads may run Python while the core reads them; a buffer's exporter
// may change its bytes at any time, so a scan of a held view keeps the lock.
// No Python object is touched between release and reacquisition: the scan
// takes string views and gives back plain C++ values.
#pragma once

#include <Python.h>

#include <cstddef>
#include <utility>

#include "lib/document/document.hpp"

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
    ~LockReleased() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }

  private:
    PyThreadState* state_;
};

// Runs `scan` over `bytes`, read through `hold`, without the lock when that
// is safe and worth it; returns what `scan` returns.
template <class Scan>
auto scan_unlocked(const DocumentHold& hold, std::size_t bytes, Scan&& scan) {
    LockReleased released(!hold.view.held() && bytes >= unlocked_scan_bytes);
    return std::forward<Scan>(scan)();
}

}  // namespace quorbix::lib
