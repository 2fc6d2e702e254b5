// How an evaluation hands a compiled path to the machine's answers, and what
// of its modifiers is left once the scan is over.
#pragma once

#include <span>

#include "engine/machine/answers.hpp"
#include "engine/modifier_stage.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::engine {

inline bool first_modifier_is(const path::CompiledPath& path, path::Modifier modifier) {
    return !path.modifiers.empty() && path.modifiers.front() == modifier;
}

// How the scan follows a path: a path that counts first keeps only the
// number of its matches; one that sums, averages or takes the least or the
// greatest number first keeps only the numbers folded so far.
inline ScanPath scan_path(const path::CompiledPath& path, Matches* out,
                          path::FinalCapture capture) {
    ScanPath scan{&path.steps, out, first_modifier_is(path, path::Modifier::First), capture,
                  first_modifier_is(path, path::Modifier::Count)};
    if (!path.modifiers.empty() && folds_numbers(path.modifiers.front()))
        scan.fold = path.modifiers.front();
    scan.scoped = path.namespaced;
    return scan;
}

// The modifiers still to apply once the scan is done: a count or a fold the
// scan took is not taken again.
inline std::span<const path::Modifier> modifiers_after_scan(const path::CompiledPath& path) {
    std::span<const path::Modifier> all = path.modifiers;
    bool taken =
        !all.empty() && (all.front() == path::Modifier::Count || folds_numbers(all.front()));
    return taken ? all.subspan(1) : all;
}

}  // namespace quorbix::engine
