#include "engine/machine/answers.hpp"

#include "path/namespace_map.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {
namespace {

// Whether a step of `steps`, or of a filter in them, names U+FFFD (filters
// nest at most a fixed depth, so the recursion is bounded).
bool names_replacement_character(const std::vector<path::PathStep>& steps) {
    for (const path::PathStep& step : steps) {
        if (xml::holds_replacement_character(step.name)) return true;
        if (step.filter && names_replacement_character(step.filter->lhs)) return true;
    }
    return false;
}

}  // namespace

Answers::Answers(std::string_view document, xml::Encoding encoding, std::vector<ScanPath> paths,
                 bool range_mode)
    : document_(document),
      encoding_(encoding),
      range_mode_(range_mode),
      decode_names_(encoding != xml::Encoding::Utf8),
      paths_(std::move(paths)),
      unfinished_(paths_.size()) {
    progress_.resize(paths_.size());
    std::size_t plans = 0;
    for (const ScanPath& p : paths_) plans += p.steps->size() + 1;
    plans_.reserve(plans);  // states point into it
    for (std::size_t p = 0; p < paths_.size(); ++p) {
        const ScanPath& path = paths_[p];
        // In a UTF-8 document a name is tested as it stands: its bytes can
        // equal a path's name only if they are UTF-8, unless the path names
        // U+FFFD.
        decode_names_ = decode_names_ || names_replacement_character(*path.steps);
        scoped_ = scoped_ || path.scoped || path::needs_scope(*path.steps);
        progress_[p].first_plan = static_cast<std::uint32_t>(plans_.size());
        plan_path(*path.steps, path.capture == path::FinalCapture::OwnedText, plans_);
    }
}

// A document has one DOCTYPE; should another follow, the first still counts.
void Answers::read_doctype(std::string_view doctype, std::uint64_t at) {
    if (entities_) return;
    use_entities(xml::Entities::declared(doctype, encoding_, at, document_.size()));
    if (!entities_) return;
    // Where it stands, for a report.
    doctype_place_ = origin_place_.line == 0
                         ? TextPlace{at, 0, 0}
                         : place_after(origin_place_, document_.substr(0, at - origin_), encoding_);
}

void Answers::use_entities(std::shared_ptr<const xml::Entities> entities) {
    entities_ = std::move(entities);
    if (scopes_ != nullptr) scopes_->use_entities(entities_);
}

void Answers::emit(std::uint32_t p, EngineMatch match) {
    Progress& progress = progress_[p];
    const ScanPath& path = paths_[p];
    ++progress.emitted;
    if (path.fold)
        progress.fold.add(match, document_, encoding_, entities());
    else if (!path.count)
        path.out->push_back(std::move(match));
    if (path.first) finish_path(p);
}

void Answers::finish_path(std::uint32_t p) {
    if (progress_[p].finished) return;
    progress_[p].finished = true;
    ++changes_;
    --unfinished_;
}

std::optional<AmbiguousPath> Answers::conclude() {
    for (std::uint32_t p = 0; p < paths_.size(); ++p) {
        const ScanPath& path = paths_[p];
        if (path.count)
            path.out->push_back(EngineMatch::scalar(std::to_string(progress_[p].emitted)));
        else if (path.fold)
            path.out->push_back(EngineMatch::scalar(progress_[p].fold.result(*path.fold)));
    }
    return std::move(error_);
}

}  // namespace quorbix::engine
