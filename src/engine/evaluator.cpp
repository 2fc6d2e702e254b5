#include "engine/evaluator.hpp"

#include "engine/driver/drive.hpp"
#include "engine/machine/answers.hpp"
#include "engine/machine/machine.hpp"
#include "engine/modifier_stage.hpp"
#include "engine/scan_path.hpp"

namespace quorbix::engine {
namespace {

// What a walk reads its texts and names with: the namespace declarations and
// entities an element's walk inherits; the entities a document's walk finds
// in its DOCTYPE.
struct InScope {
    std::string_view declarations;
    std::shared_ptr<const xml::Entities> entities;
};

// Walks the bytes once for `paths`, at document level or relative to the
// first element; the error, if a path is ambiguous.
std::optional<AmbiguousPath> walk(std::string_view bytes, xml::Encoding encoding,
                                  std::vector<ScanPath> paths, bool range_mode, bool relative,
                                  xml::StructureCheck* check, InScope& in_scope,
                                  MatchScopes* scopes) {
    Answers answers(bytes, encoding, std::move(paths), range_mode);
    answers.keep_scopes_in(scopes);
    answers.use_entities(in_scope.entities);
    const std::string_view declarations = in_scope.declarations;
    Machine machine(answers, bytes, 0);
    if (!declarations.empty() && answers.scoped())
        machine.inherit(xml::NamespaceScope::declared(declarations));
    if (relative) {
        for (std::uint32_t p = 0; p < answers.path_count(); ++p)
            machine.start_relative(p, answers.first_plan(p), StopScope::Path);
    } else {
        machine.start_document();
    }
    drive(machine, bytes, encoding, check);
    in_scope.entities = answers.shared_entities();
    return answers.conclude();
}

// The paths' lists after one pass, relative or at document level.
MultiOutcome run_paths(std::string_view bytes, xml::Encoding encoding,
                       const std::vector<const path::CompiledPath*>& paths, bool range_mode,
                       bool relative, xml::StructureCheck* check, InScope in_scope,
                       MatchScopes* scopes) {
    std::vector<Matches> lists(paths.size());
    std::vector<ScanPath> scan_paths;
    scan_paths.reserve(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        scan_paths.push_back(scan_path(*paths[i], &lists[i], paths[i]->final_capture));
    if (auto ambiguous = walk(bytes, encoding, std::move(scan_paths), range_mode, relative, check,
                              in_scope, scopes))
        return std::move(*ambiguous);
    for (std::size_t i = 0; i < paths.size(); ++i)
        apply_modifiers(modifiers_after_scan(*paths[i]), lists[i], bytes, encoding,
                        in_scope.entities.get());
    return lists;
}

// One path, recorded as the single-path evaluator records it: every element
// match as itself.
EvalOutcome run_path(std::string_view bytes, xml::Encoding encoding, const path::CompiledPath& path,
                     bool range_mode, bool relative, xml::StructureCheck* check, InScope in_scope,
                     MatchScopes* scopes) {
    Matches matches;
    std::vector<ScanPath> one{scan_path(path, &matches, path::FinalCapture::Span)};
    if (auto ambiguous =
            walk(bytes, encoding, std::move(one), range_mode, relative, check, in_scope, scopes))
        return std::move(*ambiguous);
    apply_modifiers(modifiers_after_scan(path), matches, bytes, encoding, in_scope.entities.get());
    return matches;
}

}  // namespace

EvalOutcome evaluate_path(std::string_view document, xml::Encoding encoding,
                          const path::CompiledPath& path, bool range_mode,
                          xml::StructureCheck* check, MatchScopes* scopes,
                          std::shared_ptr<const xml::Entities> entities) {
    return run_path(document, encoding, path, range_mode, false, check, {{}, std::move(entities)},
                    scopes);
}

EvalOutcome evaluate_path_in_element(std::string_view element, xml::Encoding encoding,
                                     const path::CompiledPath& path, std::string_view declarations,
                                     MatchScopes* scopes,
                                     std::shared_ptr<const xml::Entities> entities) {
    return run_path(element, encoding, path, false, true, nullptr,
                    {declarations, std::move(entities)}, scopes);
}

MultiOutcome evaluate_paths(std::string_view document, xml::Encoding encoding,
                            const std::vector<const path::CompiledPath*>& paths, bool range_mode,
                            xml::StructureCheck* check, MatchScopes* scopes) {
    return run_paths(document, encoding, paths, range_mode, false, check, {}, scopes);
}

MultiOutcome evaluate_paths_in_element(std::string_view element, xml::Encoding encoding,
                                       const std::vector<const path::CompiledPath*>& paths,
                                       std::string_view declarations, MatchScopes* scopes,
                                       std::shared_ptr<const xml::Entities> entities) {
    return run_paths(element, encoding, paths, false, true, nullptr,
                     {declarations, std::move(entities)}, scopes);
}

}  // namespace quorbix::engine
