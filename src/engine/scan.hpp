// The machine behind both evaluators: any number of paths answered in one
// pass of one reader. Each path is followed level by level, one level per
// open element being searched, by a state per path and level; the levels
// live on an explicit stack, never on the call stack, so neither a deep
// document nor a long path can exhaust it. One path is the single-path
// evaluator; several are the multi-path one. The selection rules exist once.
//
// The words the code uses:
//   level          the children of one open element (or of the document) as
//                  they stream past, and the states that test them: a Frame.
//   context        the element whose children a level tests.
//   state          one path at one level: the component its children are
//                  tested against, how many passed the name test, and
//                  whether it is done.
//   search         the state of a component after `**`: while its name does
//                  not match, it is copied into the level below (the
//                  outermost matches are the answers).
//   single selection  an index or a first-match filter: once it produced
//                  output it is done, and its stop says what ends with it
//                  (nothing more, the captured bytes it runs in, its path).
//   fan-out        each (`#`), an all-matches filter, or no selector: every
//                  match continues the path.
//   action         what a state asks of a matched element once it has been
//                  read through: capture it, take its text, decide a filter.
//   plan           how a component is followed, decided when the scan starts:
//                  its filter strategy, what the next component asks of a
//                  match (plan.hpp).
//   probe          a state that reads a filter's value, the text of one
//                  plain child, while the children stream past for others.
//   captured bytes an element read again by a reader of its own, when a
//                  filter decided on its bytes holds: the rest of the path
//                  runs on them (a Frame that is the root of those bytes).
//
// `catalog.book.#(price>10)#.title` over <catalog><book>...</book>...:
// the document level holds one state, at `catalog`. <catalog> passes its
// name test; the component has no selector and is not the last, so a second
// <catalog> at that level would make the path ambiguous. The path goes on:
// a level over catalog's children holds a state at `book#(price>10)#`. Each
// <book> passes the name test, and its filter reads one plain child with one
// simple step after it, so it streams: the book's children are read once,
// the first <price>'s text being the filter's value and each <title> a
// candidate, and at the book's end the filter decides; when it holds, the
// titles are the path's matches (byte ranges of the document in range
// mode). An all-matches filter is a fan-out: every book is tried.
//
// Where the rules live: the selectors in selection.hpp, the filter
// strategies in filter_strategies.cpp, what the next component asks of a
// match in next_component.cpp; the loop over events and the reading of
// matched elements here, in scan.cpp.
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
#include "engine/modifier_stage.hpp"
#include "engine/plan.hpp"
#include "engine/scan_parts.hpp"
#include "path/compiled_path.hpp"
#include "xml/character_data.hpp"
#include "xml/structure_check.hpp"
#include "xml/text_encoding.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::engine {

// One path a scan answers.
struct ScanPath {
    const std::vector<path::PathStep>* steps;  // never empty; outlives the scan
    Matches* out;                              // where its matches are appended
    bool first = false;  // its first modifier is `first`: it is done once anything matched
    // How a match of its last step is recorded. The single-path evaluator
    // records every element as itself (Span).
    path::FinalCapture capture = path::FinalCapture::Span;
    // Its first modifier is `count`: matches are counted, not kept, and the
    // scan leaves one text, their number, in `out`.
    bool count = false;
    // Its first modifier is `sum`, `mean`, `min` or `max`: the numbers of the
    // matches are folded as they arrive, and the scan leaves the result's
    // text in `out`.
    std::optional<path::Modifier> fold = std::nullopt;
};

class Scan {
  public:
    // The bytes are in `encoding`, and so is every element read out of them.
    // In range mode elements of `bytes` with an end tag are reported as
    // ranges of it; elements read out of captured bytes are always copied.
    Scan(std::string_view bytes, xml::Encoding encoding, std::vector<ScanPath> paths,
         bool range_mode);
    Scan(const Scan&) = delete;  // its containers live in its own room
    Scan& operator=(const Scan&) = delete;

    // Every path from its first component, at document level.
    std::optional<AmbiguousPath> run_document();

    // Every path from its first component, relative to the first element in
    // the bytes (its children are tested against the first component).
    std::optional<AmbiguousPath> run_relative();

    // Has `check` see the tags of the bytes as the scan reads them: call
    // before the run, and `check_rest` after it for the tags a scan that
    // ended early did not read.
    void check_structure(xml::StructureCheck& check) {
        sources_.front()->reader.check_structure(&check);
    }
    void check_rest(xml::StructureCheck& check) {
        const xml::XmlReader& reader = sources_.front()->reader;
        xml::check_rest(reader.input(), reader.position(), reader.encoding(), check);
    }

  private:
    // What the scan knows of each path as it goes.
    struct Progress {
        std::uint32_t first_plan = 0;  // the plan of its first component
        bool finished = false;         // it takes no further matches
        std::uint64_t emitted = 0;     // its matches so far
        NumberFold fold;               // a folding path's numbers so far
    };

    // The loop over events and the reading of matched elements (scan.cpp).
    std::optional<AmbiguousPath> run();
    void step_root();
    void step_level();
    bool in_prolog(const Frame& f, const xml::XmlReader& r, std::uint64_t at) const;
    void on_start(const xml::XmlEvent& event, std::uint64_t start);
    [[gnu::noinline]] void act_on_start(const xml::XmlEvent& event, std::uint64_t start,
                                        std::string_view name, std::uint32_t first);
    void on_empty(const xml::XmlEvent& event);
    void consume(const xml::XmlEvent& event, std::uint64_t start, std::uint32_t actions_begin,
                 std::uint32_t inner_begin, std::uint32_t searches);
    [[gnu::always_inline]] void read_through(const xml::XmlEvent& event, std::uint64_t start,
                                             std::uint32_t actions_begin);
    [[gnu::always_inline]] void open_level(std::uint32_t source, std::uint64_t context_start,
                                           std::uint32_t states_begin, std::uint32_t actions_begin,
                                           std::uint32_t probes_begin);
    void run_actions(std::uint32_t first, std::uint64_t start, std::uint64_t end_position,
                     std::string* text);
    void end_level(bool count);
    void pop_frame();
    void selection_done(std::uint32_t state);
    void unwind();
    void finish_path(std::uint32_t path);
    void finish_context(xml::XmlReader& reader, bool has_context);

    // What the next component asks of a match (next_component.cpp).
    void select(std::uint32_t state, const xml::XmlEvent& event, bool single, StopScope stop);
    bool self_closing(const State& s, const ComponentPlan& next, const xml::XmlEvent& event);
    bool terminal_on_root(const State& s, const xml::XmlEvent& event, xml::XmlReader& reader);

    // The filter strategies (filter_strategies.cpp).
    void filter(std::uint32_t state, const xml::XmlEvent& event, bool single, StopScope stop);
    void filter_self_closing(std::uint32_t state, const xml::XmlEvent& event, bool single);
    void add_probes(std::uint32_t actions_begin);
    bool filter_decides(const Action& action, std::string_view bytes);
    void stream_filter(const Action& action, const xml::XmlEvent& event, std::uint64_t start);
    bool filter_holds(std::string_view element, const path::FilterExpr& filter);
    bool first_child_text(std::string_view element, const path::PathStep& step, std::string& text);
    void rest_on_bytes(std::uint32_t state, std::string_view bytes,
                       std::unique_ptr<std::string> owned, bool selects);

    bool active(const State& s) const { return !s.done && !progress_[s.path].finished; }
    void emit(std::uint32_t path, EngineMatch match) {
        Progress& progress = progress_[path];
        const ScanPath& p = paths_[path];
        ++progress.emitted;
        if (p.fold)  // range matches lie in the document, the first source
            progress.fold.add(match, sources_.front()->reader.input(), encoding_);
        else if (!p.count)
            p.out->push_back(std::move(match));
        if (p.first) finish_path(path);
    }
    void emit_element(std::uint32_t path, std::uint32_t source, std::uint64_t start,
                      std::uint64_t end);
    void emit_leaf(std::uint32_t path, std::uint64_t start, std::uint64_t end,
                   std::string_view text);
    // Records a match of a path's last step as its capture asks: the element
    // itself (`element()`), its text (`text()`), or, where only the number of
    // matches counts, nothing that costs a copy.
    template <class Element, class Text>
    void capture(std::uint32_t path, Element element, Text text) {
        path::FinalCapture kind =
            paths_[path].count ? path::FinalCapture::CountOnly : paths_[path].capture;
        switch (kind) {
            case path::FinalCapture::Span:
                return element();
            case path::FinalCapture::OwnedText:
                return emit(path, EngineMatch::scalar(text()));
            case path::FinalCapture::CountOnly:
                return emit(path, {});
        }
    }

    Frame& top() { return frames_.back(); }
    xml::XmlReader& reader_of(const Frame& f) { return sources_[f.source]->reader; }
    // Adds a state for `path` at the component `plan` is of, and returns it.
    State& push_state(std::uint32_t path, const ComponentPlan* plan, StopScope stop) {
        State& s = states_.emplace_back();
        s.plan = plan;
        s.step = plan->step;
        s.path = path;
        s.stop = stop;
        return s;
    }
    std::uint64_t out_size(const State& s) const { return progress_[s.path].emitted; }
    // An element's name as the name test reads it: UTF-8. In a UTF-8
    // document a name is tested as it stands: its bytes can equal a path's
    // name only if they are UTF-8, unless the path names U+FFFD.
    std::string_view tested_name(std::string_view raw) {
        if (!decode_names_) return raw;
        return xml::utf8_name(raw, encoding_, name_scratch_);
    }

    // The scan's containers take their room from here first, then from the
    // heap: the scan of a small document allocates almost nothing. (Room a
    // container gives up is not reused before the scan ends.)
    alignas(std::max_align_t) std::byte first_room_[2048];
    std::pmr::monotonic_buffer_resource room_{first_room_, sizeof first_room_};

    xml::Encoding encoding_;
    bool decode_names_;  // names are decoded before their test
    std::vector<ScanPath> paths_;
    std::pmr::vector<Progress> progress_;            // per path
    std::pmr::vector<ComponentPlan> plans_{&room_};  // every path's, in order; never reallocated
    std::size_t unfinished_ = 0;
    std::pmr::vector<std::unique_ptr<Source>> sources_{&room_};
    std::pmr::vector<Frame> frames_{&room_};
    std::pmr::vector<State> states_{&room_};  // the states of every frame, innermost last
    // The actions waiting for open context elements to end, innermost last;
    // past them, those of the element being handled.
    std::pmr::vector<Action> actions_{&room_};
    std::pmr::vector<ProbeValue> probes_{&room_};  // the values of the probes of open elements
    std::optional<AmbiguousPath> error_;
    std::uint64_t changes_ = 0;  // selections done and paths finished so far
    // At document level, the offset past the last markup that was no element.
    std::uint64_t prolog_end_ = 0;
    bool unwind_ = false;  // a single selection ended the scan of captured bytes
    // The element being handled is read as a level, to its first end tag at
    // its depth, even when no state descends into it.
    bool read_by_depth_ = false;
    std::string scratch_;
    std::string name_scratch_;
};

}  // namespace quorbix::engine
