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
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/character_data.hpp"
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
};

class Scan {
  public:
    // The bytes are in `encoding`, and so is every element read out of them.
    // In range mode elements of `bytes` with an end tag are reported as
    // ranges of it; elements read out of captured bytes are always copied.
    Scan(std::string_view bytes, xml::Encoding encoding, std::vector<ScanPath> paths,
         bool range_mode);

    // Every path from its first component, at document level.
    std::optional<AmbiguousPath> run_document();

    // Every path from its first component, relative to the first element in
    // the bytes (its children are tested against the first component).
    std::optional<AmbiguousPath> run_relative();

  private:
    // Where a done single selection stops: nowhere (below a fan-out), the
    // captured bytes it runs in, or its path as a whole.
    enum class StopScope : std::uint8_t { Level, Bytes, Path };

    // One path at one level: the component it tests against the level's
    // children.
    struct State {
        // The component's step, kept at hand: the name test reads it for
        // every child. Null past the last component.
        const path::PathStep* step = nullptr;
        std::uint32_t path = 0;
        std::uint32_t component = 0;
        std::uint64_t counter = 0;  // children that passed the name test
        bool seen_match = false;    // for the ambiguity rule
        bool done = false;          // a single selection produced output here
        StopScope stop = StopScope::Path;
        // A probe reads the value of a filter on its context element: the text
        // of the first child that passes its step; 1 + its slot in probes_.
        std::uint32_t probe = 0;
    };

    // A filter's value gathered by a probe while the children stream past.
    struct ProbeValue {
        bool found = false;
        std::string text;
    };

    // What a state asks of a matched element once it has been read through:
    // the rules that need its end or its bytes.
    enum class ActionKind : std::uint8_t {
        Capture,  // the element is the path's match
        Text,     // the next component is #text: the element's text
        Filter,   // a filter decided on the element's bytes
        Stream,   // a filter decided while the children stream past
        Grown,    // a single selection whose output comes from inside
        Probed,   // a child a probe found: its text is the filter's value
    };
    // Trivial, so that a list of them costs nothing to set up per element.
    struct Action {
        ActionKind kind;
        bool single;                // a single selection: done once it produced output
        std::uint32_t state;        // index in states_
        std::uint64_t size_before;  // Grown: the path's match count before the element
        std::uint32_t probe;        // Filter: 1 + the slot of its probe, or 0 (Probed: the slot)
    };

    // One entry of the stack: a level over an element's children (or the
    // document's), or the start of a scan of captured element bytes.
    struct Frame {
        bool bytes_root = false;
        bool has_context = false;
        bool started = false;  // bytes roots: the element was entered
        bool owns_source = false;
        std::uint32_t source = 0;
        std::uint32_t states_begin = 0, states_end = 0;
        // Levels: the actions on the context element, run at its end.
        std::uint32_t actions_begin = 0, actions_end = 0;
        std::uint64_t context_start = 0;
        std::uint32_t probes_begin = 0;  // levels: the probes of the context element
        // Levels: the count of changes when their states were last looked at.
        std::uint64_t seen_changes = ~std::uint64_t{0};
        // Bytes roots: the state whose first-match filter held; done when
        // the root ends.
        std::uint32_t selected_state = 0;
        bool selects = false;
    };

    // The bytes a reader runs over: the document, or an element captured for
    // the rest of a path after a filter.
    struct Source {
        std::unique_ptr<std::string> owned;  // a rebuilt self-closing element
        xml::XmlReader reader;
        bool range_mode = false;
    };

    std::optional<AmbiguousPath> run();
    void step_root();
    void step_level();
    void on_start(const xml::XmlEvent& event, std::uint64_t start);
    [[gnu::noinline]] void act_on_start(const xml::XmlEvent& event, std::uint64_t start,
                                        std::string_view name, std::uint32_t first);
    void on_empty(const xml::XmlEvent& event);
    void end_level(bool count);
    void pop_frame();

    bool active(const State& s) const { return !s.done && !finished_[s.path]; }
    [[gnu::noinline]] bool ambiguous(State& s);
    void select(std::uint32_t state, const xml::XmlEvent& event, bool single, StopScope stop);
    [[gnu::noinline]] void search(std::uint32_t state);
    [[gnu::noinline]] void filter(std::uint32_t state, const xml::XmlEvent& event);
    bool self_closing(const State& s, std::uint32_t component, const xml::XmlEvent& event);
    void consume(const xml::XmlEvent& event, std::uint64_t start, std::uint32_t actions_begin,
                 std::uint32_t inner_begin, std::uint32_t searches);
    void add_probes(std::uint32_t actions_begin);
    void run_actions(std::uint32_t first, std::uint64_t start, std::uint64_t end_position,
                     std::string* text);
    void stream_filter(const Action& action, const xml::XmlEvent& event, std::uint64_t start);
    bool filter_holds(std::string_view element, const path::FilterExpr& filter);
    bool first_child_text(std::string_view element, const path::PathStep& step, std::string& text);
    void rest_on_bytes(std::uint32_t state, std::string_view bytes,
                       std::unique_ptr<std::string> owned, bool selects);
    void selection_done(std::uint32_t state);
    void unwind();
    void emit(std::uint32_t path, EngineMatch match) {
        ++emitted_[path];
        if (!paths_[path].count) paths_[path].out->push_back(std::move(match));
        if (paths_[path].first) finish_path(path);
    }
    void emit_element(std::uint32_t path, std::uint32_t source, std::uint64_t start,
                      std::uint64_t end);
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
    void finish_path(std::uint32_t path);
    void finish_context(xml::XmlReader& reader, bool has_context);

    Frame& top() { return frames_.back(); }
    xml::XmlReader& reader_of(const Frame& f) { return sources_[f.source]->reader; }
    const std::vector<path::PathStep>& steps_of(const State& s) const {
        return *paths_[s.path].steps;
    }
    const path::PathStep& component_of(const State& s) const { return *s.step; }
    // Adds a state for `path` at `component` and returns it.
    State& push_state(std::uint32_t path, std::uint32_t component, StopScope stop) {
        State& s = states_.emplace_back();
        const auto& steps = *paths_[path].steps;
        s.step = component < steps.size() ? &steps[component] : nullptr;
        s.path = path;
        s.component = component;
        s.stop = stop;
        return s;
    }
    bool is_last(const State& s, std::uint32_t component) const {
        return component + 1 == steps_of(s).size();
    }
    std::uint64_t out_size(const State& s) const { return emitted_[s.path]; }
    // An element's name as the name test reads it: UTF-8. In a UTF-8
    // document a name is tested as it stands: its bytes can equal a path's
    // name only if they are UTF-8, unless the path names U+FFFD.
    std::string_view tested_name(std::string_view raw) {
        if (!decode_names_) return raw;
        return xml::utf8_name(raw, encoding_, name_scratch_);
    }

    xml::Encoding encoding_;
    bool decode_names_;  // names are decoded before their test
    std::vector<ScanPath> paths_;
    std::vector<std::uint8_t> finished_;  // per path: takes no further matches
    std::vector<std::uint64_t> emitted_;  // per path: the matches so far
    std::size_t unfinished_ = 0;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<Frame> frames_;
    std::vector<State> states_;  // the states of every frame, innermost last
    // The actions waiting for open context elements to end, innermost last;
    // past them, those of the element being handled.
    std::vector<Action> actions_;
    std::vector<ProbeValue> probes_;  // the values of the probes of open elements
    std::optional<AmbiguousPath> error_;
    std::uint64_t changes_ = 0;  // selections done and paths finished so far
    bool unwind_ = false;        // a single selection ended the scan of captured bytes
    // The element being handled is read as a level, to its first end tag at
    // its depth, even when no state descends into it.
    bool read_by_depth_ = false;
    std::string scratch_;
    std::string name_scratch_;
};

}  // namespace quorbix::engine
