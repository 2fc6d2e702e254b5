#include "engine/streamed_paths.hpp"

#include "engine/driver/pieces.hpp"
#include "engine/machine/answers.hpp"
#include "engine/machine/machine.hpp"
#include "engine/modifier_stage.hpp"
#include "engine/scan_path.hpp"

namespace quorbix::engine {

bool document_start_known(std::string_view first_bytes) {
    constexpr std::size_t enough = 4096;
    if (first_bytes.size() >= enough) return true;
    if (first_bytes.size() < 6) return false;  // "<?xml " or a byte-order mark and more
    std::size_t skip = first_bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    if (!first_bytes.substr(skip).starts_with("<?xml")) return true;
    return first_bytes.find("?>") != std::string_view::npos;
}

StreamedPaths::StreamedPaths(std::vector<const path::CompiledPath*> paths, xml::DocumentStart start,
                             Checking checking)
    : paths_(std::move(paths)), found_(paths_.size()), encoding_(start.encoding.encoding) {
    std::vector<ScanPath> scan_paths;
    scan_paths.reserve(paths_.size());
    for (std::size_t i = 0; i < paths_.size(); ++i)
        scan_paths.push_back(scan_path(*paths_[i], &found_[i], paths_[i]->final_capture));
    answers_ =
        std::make_unique<Answers>(std::string_view{}, encoding_, std::move(scan_paths), false);
    answers_->keep_scopes_in(&scopes_);
    machine_ = std::make_unique<Machine>(*answers_, std::string_view{}, 0);
    machine_->start_document();
    driver_ = std::make_unique<PieceDriver>(*machine_, start,
                                            checking == Checking::None ? nullptr : &check_,
                                            checking == Checking::StopAtProblem);
}

StreamedPaths::~StreamedPaths() = default;

bool StreamedPaths::feed(std::string_view piece) {
    if (ended_ || error_) return false;
    // References may expand 100 times the bytes read so far, these included
    // (a DOCTYPE read now is allowed for the bytes held).
    fed_ += piece.size();
    if (const xml::Entities* entities = answers_->entities()) entities->allow_for(fed_);
    bool more = driver_->feed(piece);
    // An ambiguous path stops the scan as soon as it is found; the matches
    // taken before stay taken.
    if (answers_->failed()) error_ = answers_->conclude();
    return more && !error_;
}

void StreamedPaths::end() {
    if (ended_) return;
    ended_ = true;
    if (error_) return;
    driver_->end();
    error_ = answers_->conclude();
    if (error_) return;
    for (std::size_t i = 0; i < paths_.size(); ++i)
        apply_modifiers(modifiers_after_scan(*paths_[i]), found_[i], {}, encoding_,
                        answers_->entities());
}

// A structure's problem comes first; else references some read left as
// written, once they have.
const std::optional<ValidationReport>& StreamedPaths::report() const {
    if (driver_->report()) return driver_->report();
    const xml::Entities* entities = answers_->entities();
    if (!entities_report_ && entities != nullptr && entities->fell_short())
        entities_report_ = entities_report(*entities, answers_->doctype_place());
    return entities_report_;
}

const std::shared_ptr<const xml::Entities>& StreamedPaths::entities() const {
    return answers_->shared_entities();
}

bool StreamedPaths::stopped_early() const {
    return driver_->stopped_early();
}

std::size_t StreamedPaths::held() const {
    return driver_->held();
}

// A path streams when no modifier waits for its whole list: it has none, or
// only `first`, which the scan itself applies.
bool StreamedPaths::streams(std::size_t p) const {
    const std::vector<path::Modifier>& modifiers = paths_[p]->modifiers;
    return modifiers.empty() ||
           (modifiers.size() == 1 && modifiers.front() == path::Modifier::First);
}

}  // namespace quorbix::engine
