// What every walk of one evaluation shares: the paths, where their matches
// go, and how far each path has come. A filter's rest runs in a walk of its
// own over the matched element's bytes; it records into the same answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "engine/machine/plan.hpp"
#include "engine/match_scopes.hpp"
#include "engine/modifier_stage.hpp"
#include "engine/validate.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"

namespace quorbix::engine {

// One path an evaluation answers.
struct ScanPath {
    const std::vector<path::PathStep>* steps;  // never empty; outlives the evaluation
    Matches* out;                              // where its matches are appended
    bool first = false;  // its first modifier is `first`: it is done once anything matched
    // How a match of its last step is recorded. The single-path evaluator
    // records every element as itself (Span).
    path::FinalCapture capture = path::FinalCapture::Span;
    // Its first modifier is `count`: matches are counted, not kept, and the
    // evaluation leaves one text, their number, in `out`.
    bool count = false;
    // Its first modifier is `sum`, `mean`, `min` or `max`: the numbers of the
    // matches are folded as they arrive, and the evaluation leaves the
    // result's text in `out`.
    std::optional<path::Modifier> fold = std::nullopt;
    // Compiled under a namespace mapping: the scan keeps the declarations in
    // scope, and element matches carry them.
    bool scoped = false;
};

class Answers {
  public:
    // `document` is what range matches point into, in `encoding`; in range
    // mode elements are recorded as ranges of it, otherwise copied.
    Answers(std::string_view document, xml::Encoding encoding, std::vector<ScanPath> paths,
            bool range_mode);
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;

    // The document's bytes at [start, end). A document fed in pieces holds
    // only those from `origin` on, as far as it was read (`slide`), which
    // are all that the walks still under way may ask for.
    std::string_view bytes_at(std::uint64_t start, std::uint64_t end) const {
        return document_.substr(start - origin_, end - start);
    }
    // `origin_place`: where `origin` stands, or line 0 when not known.
    void slide(std::string_view held, std::uint64_t origin, TextPlace origin_place) {
        document_ = held;
        origin_ = origin;
        origin_place_ = origin_place;
    }
    xml::Encoding encoding() const { return encoding_; }
    // The general entities the document declares, read in its texts and
    // values: those of its DOCTYPE, once the walk has met it, or those a
    // walk over a matched element's bytes inherits from its document.
    const xml::Entities* entities() const { return entities_.get(); }
    const std::shared_ptr<const xml::Entities>& shared_entities() const { return entities_; }
    // These go with the matches' scopes, when they are kept.
    void use_entities(std::shared_ptr<const xml::Entities> entities);
    // The DOCTYPE `doctype`, met `at` bytes into the document.
    void read_doctype(std::string_view doctype, std::uint64_t at);
    // Where the DOCTYPE that declared them stands.
    TextPlace doctype_place() const { return doctype_place_; }
    bool range_mode() const { return range_mode_; }
    std::uint32_t path_count() const { return static_cast<std::uint32_t>(paths_.size()); }
    const ScanPath& path(std::uint32_t p) const { return paths_[p]; }
    // The plan of a path's first component; those of the next ones follow it.
    const ComponentPlan* first_plan(std::uint32_t p) const {
        return &plans_[progress_[p].first_plan];
    }
    // Element names are decoded to UTF-8 before their test.
    bool decodes_names() const { return decode_names_; }
    // Some path tests namespaces: its walks keep the declarations in scope.
    bool scoped() const { return scoped_; }
    // Where the declarations in scope around element matches go, if the
    // caller reads its matches again; kept only by a scoped scan.
    void keep_scopes_in(MatchScopes* scopes) {
        scopes_ = scopes;
        if (scopes_ != nullptr) scopes_->use_entities(entities_);
    }
    MatchScopes* scopes() const { return scopes_; }

    bool finished(std::uint32_t p) const { return progress_[p].finished; }
    std::uint64_t emitted(std::uint32_t p) const { return progress_[p].emitted; }
    // Nothing more can be answered: every path is finished, or one failed.
    bool over() const { return unfinished_ == 0 || error_.has_value(); }
    bool failed() const { return error_.has_value(); }
    // Moves whenever a single selection is done or a path finishes: the
    // states worth testing change only then.
    std::uint64_t changes() const { return changes_; }
    void changed() { ++changes_; }

    void emit(std::uint32_t p, EngineMatch match);
    // A path's last step matched an element: the match as the path's
    // capture asks, as `element()` makes it or as its text, `text()`; where
    // only the number of matches counts, nothing is copied.
    template <class Element, class Text>
    EngineMatch match_of(std::uint32_t p, Element element, Text text) const {
        path::FinalCapture kind =
            paths_[p].count ? path::FinalCapture::CountOnly : paths_[p].capture;
        switch (kind) {
            case path::FinalCapture::Span:
                return element();
            case path::FinalCapture::OwnedText:
                return EngineMatch::scalar(text());
            case path::FinalCapture::CountOnly:
                break;
        }
        return {};
    }
    template <class Element, class Text>
    void capture(std::uint32_t p, Element element, Text text) {
        emit(p, match_of(p, element, text));
    }
    void finish_path(std::uint32_t p);
    void fail(AmbiguousPath error) {
        if (!error_) error_ = std::move(error);
    }

    // Leaves the count or the fold of the paths that keep one in their lists;
    // the error, if one path failed.
    std::optional<AmbiguousPath> conclude();

  private:
    struct Progress {
        std::uint32_t first_plan = 0;  // the plan of its first component
        bool finished = false;         // it takes no further matches
        std::uint64_t emitted = 0;     // its matches so far
        NumberFold fold;               // a folding path's numbers so far
    };

    std::string_view document_;
    std::uint64_t origin_ = 0;  // where `document_` begins in the document
    xml::Encoding encoding_;
    bool range_mode_;
    bool decode_names_;
    bool scoped_ = false;
    MatchScopes* scopes_ = nullptr;
    std::vector<ScanPath> paths_;
    alignas(std::max_align_t) std::byte first_room_[1024];  // for the two below, first
    std::pmr::monotonic_buffer_resource room_{first_room_, sizeof first_room_};
    std::pmr::vector<Progress> progress_{&room_};
    std::pmr::vector<ComponentPlan> plans_{&room_};  // every path's, in order; never reallocated
    std::size_t unfinished_;
    std::uint64_t changes_ = 0;
    std::optional<AmbiguousPath> error_;
    // What the DOCTYPE declares, read far less often than the above.
    std::shared_ptr<const xml::Entities> entities_;
    TextPlace origin_place_;  // the place of `origin_`
    TextPlace doctype_place_;
};

}  // namespace quorbix::engine
