// The machine behind both evaluators: any number of paths answered by one
// walk over the tags (xml/tag_walker.hpp), which drives it tag by tag. Each
// path is followed level by level, one level per open element being
// searched, by a state per path and level; the levels live on an explicit
// stack, never on the call stack, so neither a deep document nor a long path
// can exhaust it. The machine never reads the input itself: it decides on
// each tag the walk reports, and reads a matched element's bytes again only
// when a rule needs them (a filter, its text).
//
// Where an element ends is one rule for every path: at the first end tag at
// its depth, whatever that tag's name, or where the walk ends. An end tag
// with no open element is passed over.
//
// The words the code uses:
//   level          the children of one open element (or of the document) as
//                  the walk reports them, and the states that test them.
//   frame          an open element something waits for: a level, the
//                  actions on the element, or both.
//   context        the element whose children a level tests.
//   state          one path at one level: the component its children are
//                  tested against, how many passed the name test, and
//                  whether it is done.
//   search         the state of a component after `**`: while its name does
//                  not match, it is copied into the level below (the
//                  outermost matches are the answers).
//   single selection  an index or a first-match filter: once it produced
//                  output it is done, and its stop says what ends with it
//                  (nothing more, the walk over the bytes it runs in, its
//                  path).
//   fan-out        each (`#`), an all-matches filter, or no selector: every
//                  match continues the path.
//   action         what a state asks of a matched element at its end:
//                  capture it, take its text, decide a filter.
//   plan           how a component is followed, decided when the machine is
//                  made: its filter strategy, what the next component asks of
//                  a match (plan.hpp).
//   probe          a state that reads a filter's value, the text of one
//                  plain child, while the children pass for other states.
//   rest           the components after a filter that held on an element's
//                  bytes: a machine of their own walks those bytes.
//
// `catalog.book.#(price>10)#.title` over <catalog><book>...</book>...:
// the document level holds one state, at `catalog`. <catalog> passes its
// name test; the component has no selector and is not the last, so a second
// <catalog> at that level would make the path ambiguous. The path goes on:
// a level over catalog's children holds a state at `book#(price>10)#`. Each
// <book> passes the name test and is a candidate of the filter: at its end
// the filter reads the book's first <price>, and when it holds, a machine of
// its own walks the book's bytes for the titles.
//
// Where the rules live: the selectors in selection.hpp, the filter
// strategies in filters.cpp, what the next component asks of a match in
// next_component.cpp; the tags and frames here, in machine.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "engine/machine/answers.hpp"
#include "engine/machine/plan.hpp"
#include "engine/machine/selection.hpp"
#include "engine/machine/states.hpp"
#include "xml/character_data.hpp"
#include "xml/namespace_scope.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::engine {

class Machine {
  public:
    // A machine over `bytes`, which lie at `base` in the answers' document;
    // `depth` machines over matched elements' bytes run around it.
    Machine(Answers& answers, std::string_view bytes, std::uint64_t base, std::uint32_t depth = 0);
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Every path from its first component, at document level.
    void start_document();
    // A path from `plan` on, relative to the first element in the bytes: its
    // children are tested against the component (a terminal reads the
    // element itself, and past the last component it is the match).
    void start_relative(std::uint32_t path, const ComponentPlan* plan, StopScope stop);
    // A walk over an element's bytes, whose names are read in the scope of
    // the declarations around the element.
    void inherit(xml::NamespaceScope scope) { scope_ = std::move(scope); }

    // The walk's visitor (xml/tag_walker.hpp): false once nothing more can
    // be answered here. Most tags concern no state: those inside an element
    // no level reads, and the end tags of elements no frame waits for. They
    // cost a comparison of depths; the rest go to the machine proper.
    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        bool go = true;
        if (event.kind == xml::EventKind::End) {
            if (depth_ == frame_depth_) [[unlikely]]
                go = on_frame_end(lt, end);
            if (depth_ != 0) --depth_;  // an end tag that closes nothing is passed over
        } else {
            if (depth_ - level_depth_ <= level_span_) [[unlikely]]
                go = on_child(event, lt, end);
            if (event.kind == xml::EventKind::Start) ++depth_;
        }
        last_end_ = end;
        return go;
    }
    bool markup(const xml::ReadResult& read, std::size_t lt, std::size_t end) {
        if (read.event.kind == xml::EventKind::DocType && depth_ == 0) [[unlikely]]
            answers_.read_doctype(bytes_.substr(lt, end - lt), base_ + lt);
        last_end_ = end;  // a comment, CDATA or PI: the element around it is no leaf
        return true;
    }

    // The general entities the document declares, once its DOCTYPE is read.
    const std::shared_ptr<const xml::Entities>& shared_entities() const {
        return answers_.shared_entities();
    }

    // The walk ended at `at` (the input's end, or markup it could not read):
    // the elements still open end there. Call once, after the walk.
    void finish(std::size_t at);

    // A document fed in pieces: the bytes the next walk reports tags of, now
    // `held`, which begins at `origin` in the document. What the machine
    // keeps of the bytes before (where its open elements begin) moves with
    // them. Only a machine over a whole document slides. `origin_place` is
    // where `origin` stands (line 0 when not known).
    void slide(std::string_view held, std::uint64_t origin, TextPlace origin_place);
    // Where in the bytes the first element begins whose bytes the machine
    // will read at its end; `nowhere` when none is open.
    std::size_t first_needed() const;
    static constexpr std::size_t nowhere = ~std::size_t{0};

    // Whether the machine stopped before the walk's end, and where the
    // first tag it did not see begins.
    bool stopped() const { return stopped_; }
    std::size_t seen_until() const { return last_end_; }

  private:
    // Tags (machine.cpp).
    bool on_child(const xml::XmlEvent& event, std::size_t lt, std::size_t end);
    [[gnu::noinline]] bool on_unusual_child(const xml::XmlEvent& event, std::size_t lt,
                                            std::size_t end);
    bool on_frame_end(std::size_t lt, std::size_t end);
    bool on_start(const xml::XmlEvent& event, std::size_t lt, std::size_t end);
    void on_empty(const xml::XmlEvent& event, std::size_t lt, std::size_t end);
    void on_root(const xml::XmlEvent& event, std::size_t lt, std::size_t end);
    bool settle();
    void describe(Frame& f) const;
    [[gnu::noinline]] void act_on_start(const xml::XmlEvent& event, std::size_t lt, std::size_t end,
                                        std::string_view name, std::uint32_t first);
    bool level_active(Frame& f);
    void open_frame(std::uint32_t states_begin, std::uint32_t actions_begin,
                    std::uint32_t probes_begin, std::size_t lt, std::size_t end);
    void close_frame(std::size_t lt, std::size_t end);
    void run_actions(std::uint32_t first, std::uint64_t start, std::uint64_t end,
                     std::string_view leaf_text, bool leaf);
    void emit_counts(const Frame& f);
    std::uint32_t new_probe();
    bool go_on() const { return !stop_here_ && !answers_.over(); }
    bool selected(std::uint32_t i, Selection& selection);
    void selection_done(std::uint32_t state);

    // What the next component asks of a match (next_component.cpp).
    void select(std::uint32_t state, const xml::XmlEvent& event, bool single, StopScope stop);
    bool self_closing(const State& s, const ComponentPlan& asked, const xml::XmlEvent& event,
                      std::size_t lt, std::size_t end);
    bool terminal_on_root(const State& s, const xml::XmlEvent& event);

    // The filter strategies (filters.cpp).
    void filter(std::uint32_t state, const xml::XmlEvent& event, bool single, StopScope stop);
    void filter_self_closing(std::uint32_t state, std::size_t lt, std::size_t end, bool single);
    void stream_filter(std::uint32_t state, bool single);
    xml::XmlEvent start_tag_at(std::size_t start, std::size_t end) const;
    void add_probes(std::uint32_t actions_begin, bool reads_children);
    void decide_streamed(const Action& action, std::uint64_t start, std::uint64_t end,
                         std::string_view leaf_text, bool leaf);
    bool filter_decides(const Action& action, std::string_view bytes);
    bool filter_holds(std::string_view element, const path::FilterExpr& filter);
    void rest_on_bytes(std::uint32_t state, std::size_t start, std::size_t end, bool selects);
    void run_deferred(std::vector<RestWalk> walks);

    // Records a match of `s`'s path, or keeps it for its streamed filter.
    void deliver(const State& s, EngineMatch match) {
        if (s.gathers)
            gathered_.push_back({s.path, std::move(match)});
        else
            answers_.emit(s.path, std::move(match));
    }
    bool active(const State& s) const { return !s.done && !answers_.finished(s.path); }
    // Records an element of the bytes, [start, end), as a path's match: a
    // range of the document in range mode, else a copy; a leaf's range says
    // where its text lies.
    EngineMatch element(std::uint64_t start, std::uint64_t end) const {
        if (scoped_) [[unlikely]]
            keep_scope(base_ + start);
        if (answers_.range_mode()) return EngineMatch::range(base_ + start, base_ + end);
        EngineMatch m = EngineMatch::owned(bytes_.substr(start, end - start));
        if (scoped_) [[unlikely]]
            m.start = base_ + start;  // where its declarations are kept
        return m;
    }
    EngineMatch leaf(std::uint64_t start, std::uint64_t end, std::string_view text) const {
        if (!answers_.range_mode()) return element(start, end);
        if (scoped_) [[unlikely]]
            keep_scope(base_ + start);
        auto text_begin = static_cast<std::uint64_t>(text.data() - bytes_.data());
        return EngineMatch::leaf(base_ + start, base_ + end, base_ + text_begin,
                                 base_ + text_begin + text.size());
    }
    [[gnu::noinline]] void keep_scope(std::uint64_t start) const;
    std::string text_of(std::string_view bytes, std::string_view leaf_text, bool leaf) const;

    Frame& top() { return frames_.back(); }
    // Adds a state for `path` at the component `plan` is of, and returns it.
    State& push_state(std::uint32_t path, const ComponentPlan* plan, StopScope stop) {
        State& s = states_.emplace_back();
        s.plan = plan;
        s.step = plan->step;
        s.path = path;
        s.stop = stop;
        return s;
    }
    // An element's name as the name test reads it: UTF-8.
    std::string_view tested_name(std::string_view raw) {
        if (!answers_.decodes_names()) return raw;
        return xml::utf8_name(raw, answers_.encoding(), name_scratch_);
    }

    Answers& answers_;
    std::string_view bytes_;
    std::uint64_t base_;
    std::uint32_t depth_of_walks_;  // machines over matched elements' bytes around this one
    // Past a fixed depth of walks over matched elements' bytes, each within
    // the one before on the call stack, the next are kept here and run once
    // this machine's walk is over (machine.hpp, rest_on_bytes).
    std::vector<RestWalk> deferred_;
    std::size_t depth_ = 0;  // open elements
    // The depth whose children a level tests (the top frame's, while any of
    // its states can match), and the depth of the element the top frame
    // waits for; `nowhere` when there is none.
    std::size_t level_depth_ = nowhere;
    std::size_t frame_depth_ = nowhere;
    // How far below `level_depth_` the level tests: 0, or any depth for a
    // deep frame.
    std::size_t level_span_ = 0;
    bool filtered_ = false;  // a filter action was added for the element at hand
    bool relative_ = false;  // the first element is the context of its states
    bool root_seen_ = false;
    bool stop_here_ = false;  // a single selection ended this walk
    bool stopped_ = false;
    std::size_t last_end_ = 0;  // past the last tag or markup seen
    // The machine's containers take their room from here first, then from
    // the heap: a walk over a small document allocates almost nothing.
    // (Room a container gives up is not reused before the machine ends.)
    alignas(std::max_align_t) std::byte first_room_[2048];
    std::pmr::monotonic_buffer_resource room_{first_room_, sizeof first_room_};
    std::pmr::vector<Frame> frames_{&room_};
    std::pmr::vector<State> states_{&room_};  // the states of every frame, innermost last
    // The actions waiting for open elements to end, innermost last; past
    // them, those of the element being handled.
    std::pmr::vector<Action> actions_{&room_};
    // The values of the probes of open elements: the first `probe_count_`.
    std::vector<ProbeValue> probes_;
    std::uint32_t probe_count_ = 0;
    std::vector<Gathered> gathered_;  // for the streamed filters of open candidates
    std::string scratch_;
    std::string name_scratch_;
    // Kept only while some path tests namespaces: every element a level
    // tests is entered, so the declarations of its ancestors are all there.
    bool scoped_;
    // The next child is read by on_unusual_child: the machine is scoped, or
    // the first element of a relative walk is still to come.
    bool unusual_;
    xml::NamespaceScope scope_;
    // The text of `scope_` matches carry, as it stood at `scope_text_changes_`.
    mutable std::shared_ptr<const std::string> scope_text_;
    mutable std::uint64_t scope_text_changes_ = 0;
};

}  // namespace quorbix::engine
