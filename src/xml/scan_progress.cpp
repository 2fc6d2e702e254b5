#include "xml/scan_progress.hpp"

namespace quorbix::xml {
namespace {

// Read only at a check, every few megabytes, and when a hook comes or goes.
thread_local ProgressHook* current_hook = nullptr;

}  // namespace

ProgressHook::ProgressHook(GoOn go_on, void* context)
    : go_on_(go_on), context_(context), outer_(current_hook) {
    current_hook = this;
}

ProgressHook::~ProgressHook() {
    current_hook = outer_;
}

bool go_on_scanning() {
    ProgressHook* hook = current_hook;
    if (hook == nullptr) return true;
    if (!hook->stopped_ && !hook->go_on_(hook->context_)) hook->stopped_ = true;
    return !hook->stopped_;
}

}  // namespace quorbix::xml
