#include "engine/evaluator.hpp"

#include "engine/modifier_stage.hpp"
#include "engine/scan.hpp"

namespace quorbix::engine {

EvalOutcome evaluate_path(std::string_view document, xml::Encoding encoding,
                          const path::CompiledPath& path, bool range_mode) {
    Matches matches;
    EvalFlags flags;
    flags.range_mode = range_mode;
    flags.stop_after_first_item =
        !path.modifiers.empty() && path.modifiers.front() == path::Modifier::First;
    flags.top_level_stop = true;
    Scan scan(document, encoding, path.steps, matches);
    if (auto ambiguous = scan.run_document(flags)) return std::move(*ambiguous);
    apply_modifiers(path.modifiers, matches, document, encoding);
    return matches;
}

}  // namespace quorbix::engine
