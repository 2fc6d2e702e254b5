#include "engine/evaluator.hpp"

#include "engine/modifier_stage.hpp"
#include "engine/scan.hpp"

namespace quorbix::engine {
namespace {

bool first_modifier_is_first(const path::CompiledPath& path) {
    return !path.modifiers.empty() && path.modifiers.front() == path::Modifier::First;
}

// The paths' lists after one pass, relative or at document level.
MultiOutcome run_paths(std::string_view bytes, xml::Encoding encoding,
                       const std::vector<const path::CompiledPath*>& paths, bool range_mode,
                       bool relative) {
    std::vector<Matches> lists(paths.size());
    std::vector<ScanPath> scan_paths;
    scan_paths.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        scan_paths.push_back({&paths[i]->steps, &lists[i], first_modifier_is_first(*paths[i]),
                              paths[i]->final_capture});
    Scan scan(bytes, encoding, std::move(scan_paths), range_mode);
    auto ambiguous = relative ? scan.run_relative() : scan.run_document();
    if (ambiguous) return std::move(*ambiguous);
    for (std::size_t i = 0; i < paths.size(); ++i)
        apply_modifiers(paths[i]->modifiers, lists[i], bytes, encoding);
    return lists;
}

// One path, recorded as the single-path evaluator records it: every element
// match as itself.
EvalOutcome run_path(std::string_view bytes, xml::Encoding encoding, const path::CompiledPath& path,
                     bool range_mode, bool relative) {
    Matches matches;
    Scan scan(bytes, encoding, {ScanPath{&path.steps, &matches, first_modifier_is_first(path)}},
              range_mode);
    auto ambiguous = relative ? scan.run_relative() : scan.run_document();
    if (ambiguous) return std::move(*ambiguous);
    apply_modifiers(path.modifiers, matches, bytes, encoding);
    return matches;
}

}  // namespace

EvalOutcome evaluate_path(std::string_view document, xml::Encoding encoding,
                          const path::CompiledPath& path, bool range_mode) {
    return run_path(document, encoding, path, range_mode, false);
}

EvalOutcome evaluate_path_in_element(std::string_view element, xml::Encoding encoding,
                                     const path::CompiledPath& path) {
    return run_path(element, encoding, path, false, true);
}

MultiOutcome evaluate_paths(std::string_view document, xml::Encoding encoding,
                            const std::vector<const path::CompiledPath*>& paths, bool range_mode) {
    return run_paths(document, encoding, paths, range_mode, false);
}

MultiOutcome evaluate_paths_in_element(std::string_view element, xml::Encoding encoding,
                                       const std::vector<const path::CompiledPath*>& paths) {
    return run_paths(element, encoding, paths, false, true);
}

}  // namespace quorbix::engine
