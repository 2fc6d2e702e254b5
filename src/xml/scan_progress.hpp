// A long scan's word with whoever started it. Every `progress_interval` bytes
// of its input a reader (or a tag walk) asks the hook its thread has
// installed whether to go on. A hook that answers no ends every reader of the
// thread where it stands, as if its input ended there, so the scan winds up
// as it does at the end of any input; its caller then learns from the hook
// that the answer is unfinished. A reader of fewer bytes never asks, and the
// question costs nothing between two checks: it is the bound of the searches
// for the next '<' that the reader makes anyway.
#pragma once

#include <cstddef>

namespace quorbix::xml {

inline constexpr std::size_t progress_interval = std::size_t{4} << 20;

class ProgressHook {
  public:
    // true: go on; false: stop.
    using GoOn = bool (*)(void* context);

    // Installed for the calling thread until it goes; an inner hook stands in
    // for the outer one meanwhile.
    ProgressHook(GoOn go_on, void* context);
    ~ProgressHook();
    ProgressHook(const ProgressHook&) = delete;
    ProgressHook& operator=(const ProgressHook&) = delete;

    // Whether it answered no.
    bool stopped() const { return stopped_; }

  private:
    friend bool go_on_scanning();

    GoOn go_on_;
    void* context_;
    bool stopped_ = false;
    ProgressHook* outer_;
};

// Asks the calling thread's hook, if any, whether its scan goes on; once a
// hook said no, it answers no without asking again.
bool go_on_scanning();

// The same question for work over many small inputs in turn (the rows of a
// table, each read by a reader of its own): asked once `progress_interval`
// bytes of them have been done.
class ProgressBudget {
  public:
    // Counts `bytes` more done; false when the work must stop.
    bool go_on(std::size_t bytes) {
        if (bytes < left_) [[likely]] {
            left_ -= bytes;
            return true;
        }
        left_ = progress_interval;
        return go_on_scanning();
    }

  private:
    std::size_t left_ = progress_interval;
};

// Where a reader at `from` asks next: `progress_interval` bytes on, or at the
// input's `end`, where it never asks.
inline const char* next_progress_check(const char* from, const char* end) {
    return static_cast<std::size_t>(end - from) > progress_interval ? from + progress_interval
                                                                    : end;
}

}  // namespace quorbix::xml
