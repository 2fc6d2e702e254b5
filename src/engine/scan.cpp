#include "engine/scan.hpp"

#include <algorithm>

#include "engine/element_text.hpp"
#include "engine/name_test.hpp"
#include "engine/selection.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {

using path::FinalCapture;
using path::PathStep;
using path::Selector;
using xml::EventKind;
using xml::XmlEvent;

namespace {

// Whether a step of `steps`, or of a filter in them, names U+FFFD (filters
// nest at most a fixed depth, so the recursion is bounded).
bool names_replacement_character(const std::vector<PathStep>& steps) {
    for (const PathStep& step : steps) {
        if (xml::holds_replacement_character(step.name)) return true;
        if (step.filter && names_replacement_character(step.filter->lhs)) return true;
    }
    return false;
}

}  // namespace

Scan::Scan(std::string_view bytes, xml::Encoding encoding, std::vector<ScanPath> paths,
           bool range_mode)
    : encoding_(encoding),
      decode_names_(encoding != xml::Encoding::Utf8),
      paths_(std::move(paths)),
      progress_(paths_.size(), &room_),
      unfinished_(paths_.size()) {
    std::size_t plans = 0;
    for (const ScanPath& p : paths_) plans += p.steps->size() + 1;
    plans_.reserve(plans);  // states point into it
    for (std::size_t p = 0; p < paths_.size(); ++p) {
        const ScanPath& path = paths_[p];
        decode_names_ = decode_names_ || names_replacement_character(*path.steps);
        progress_[p].first_plan = static_cast<std::uint32_t>(plans_.size());
        plan_path(*path.steps, path.capture == FinalCapture::OwnedText, plans_);
    }
    sources_.push_back(std::make_unique<Source>(
        Source{nullptr, {bytes, xml::evaluation_profile(), encoding}, range_mode}));
    // Room for a few levels at once, rather than growing step by step.
    frames_.reserve(8);
    states_.reserve(16);
    actions_.reserve(8);
}

std::optional<AmbiguousPath> Scan::run_document() {
    for (std::uint32_t p = 0; p < paths_.size(); ++p) {
        const PathStep& first = paths_[p].steps->front();
        if (first.is_element()) {
            push_state(p, &plans_[progress_[p].first_plan], StopScope::Path);
            continue;
        }
        // A terminal at document level has no element to read: #text is
        // empty and an attribute is absent.
        if (first.kind == path::StepKind::Text) emit(p, EngineMatch::scalar({}));
        finish_path(p);
    }
    if (!states_.empty()) {
        Frame& level = frames_.emplace_back();
        level.states_end = static_cast<std::uint32_t>(states_.size());
    }
    return run();
}

std::optional<AmbiguousPath> Scan::run_relative() {
    for (std::uint32_t p = 0; p < paths_.size(); ++p)
        push_state(p, &plans_[progress_[p].first_plan], StopScope::Path);
    Frame& root = frames_.emplace_back();
    root.kind = Frame::Kind::BytesRoot;
    root.states_end = static_cast<std::uint32_t>(states_.size());
    return run();
}

std::optional<AmbiguousPath> Scan::run() {
    while (!frames_.empty() && !error_ && unfinished_ > 0) {
        if (unwind_)
            unwind();
        else if (top().kind == Frame::Kind::BytesRoot)
            step_root();
        else
            step_level();
    }
    for (std::uint32_t p = 0; p < paths_.size(); ++p) {
        const ScanPath& path = paths_[p];
        if (path.count)
            path.out->push_back(EngineMatch::scalar(std::to_string(progress_[p].emitted)));
        else if (path.fold)
            path.out->push_back(EngineMatch::scalar(progress_[p].fold.result(*path.fold)));
    }
    return std::move(error_);
}

// One event of a level: the children of its context element, or of the
// document, tested against the components of its states.
void Scan::step_level() {
    Frame& f = top();
    xml::XmlReader& r = reader_of(f);
    // Whether anything here can still match changes only when a selection
    // is done or a path finishes; the states are looked at again only then.
    if (f.level.seen_changes != changes_) {
        f.level.seen_changes = changes_;
        bool any_active = false;
        for (std::uint32_t i = f.states_begin; i < f.states_end && !any_active; ++i)
            any_active = active(states_[i]);
        if (!any_active) {  // read on to the level's end
            finish_context(r, f.level.has_context);
            return end_level(false);
        }
    }
    r.skip_text();  // a level looks only at tags
    std::uint64_t start = r.position();
    if (xml::ReaderError error = r.read_next(); error != xml::ReaderError::None) {
        // Malformed XML ends the level; but a stray end tag or a nameless
        // DOCTYPE before the root element is passed over, as the reader
        // reads on past it, so the root element still answers.
        if (error != xml::ReaderError::IllFormed || !in_prolog(f, r, start))
            return end_level(false);
        prolog_end_ = r.position();
        return;
    }
    // A copy, since handlers read on and overwrite the reader's; made field by
    // field, as the reader wrote them, so each load meets its store whole.
    const XmlEvent& read = r.event();
    XmlEvent event;
    event.kind = read.kind;
    event.content = read.content;
    event.name_length = read.name_length;
    switch (event.kind) {
        case EventKind::Start:
            return on_start(event, start);
        case EventKind::Empty:
            return on_empty(event);
        case EventKind::End:
        case EventKind::Eof:
            return end_level(true);
        default:  // a comment, CDATA, a PI, a declaration or a DOCTYPE
            if (!f.level.has_context) prolog_end_ = r.position();
            return;
    }
}

// Whether the markup at `at` stands at document level before the root
// element. Every markup there that is no element moves `prolog_end_` past
// it, and the scan skips text, so between `prolog_end_` and `at` there is a
// '<' only if an element was read. Elements themselves are not marked: the
// question is asked only of malformed markup, and costs nothing otherwise.
bool Scan::in_prolog(const Frame& f, const xml::XmlReader& r, std::uint64_t at) const {
    if (f.level.has_context) return false;
    const char* input = r.input().data();
    return xml::find_byte(input + prolog_end_, input + at, '<') == nullptr;
}

void Scan::on_start(const XmlEvent& event, std::uint64_t start) {
    std::string_view name = tested_name(event.name());
    const Frame& f = top();
    // Most elements concern no state, or only searches that a leaf cannot
    // satisfy: they are passed over at once.
    std::uint32_t first_search = f.states_end;
    for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (name_matches(step, name))
            return act_on_start(event, start, name, std::min(i, first_search));
        if (step.recursive && first_search == f.states_end) first_search = i;
    }
    xml::XmlReader& r = reader_of(f);
    if (first_search == f.states_end)
        (void)r.skip_element(event.name());
    else if (!r.skip_leaf(event.name()))
        act_on_start(event, start, name, first_search);
}

// `first` is the first state that acts on the element: those before it do not.
void Scan::act_on_start(const XmlEvent& event, std::uint64_t start, std::string_view name,
                        std::uint32_t first) {
    std::uint32_t end = top().states_end;
    // What the states ask of the element gathers past the actions of the
    // open levels and the states of the open frames: in place, with nothing
    // allocated once the scan has warmed up.
    auto inner_begin = static_cast<std::uint32_t>(states_.size());
    auto actions_begin = static_cast<std::uint32_t>(actions_.size());
    std::uint32_t searches = 0;
    read_by_depth_ = false;
    for (std::uint32_t i = first; i < end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (states_[i].is_probe()) {  // the first child it names gives the value
            if (name_matches(step, name))
                actions_.push_back({ActionKind::ProbeChild, false, i, states_[i].probe, 0});
            continue;
        }
        if (!name_matches(step, name)) {
            if (step.recursive) {  // searched on inside, as a level of its own
                push_state(states_[i].path, states_[i].plan, StopScope::Level);
                ++searches;
            }
            continue;
        }
        Selection selection = select_by_selector(states_[i]);
        switch (selection.kind) {
            case Selection::Kind::Pass:
                break;
            case Selection::Kind::Ambiguous:
                error_ = AmbiguousPath{step.name};
                return;
            case Selection::Kind::Select:
                select(i, event, selection.single, selection.stop);
                break;
            case Selection::Kind::Filter:
                filter(i, event, selection.single, selection.stop);
                break;
        }
    }
    if (states_.size() == inner_begin && actions_.size() == actions_begin && !read_by_depth_) {
        (void)reader_of(top()).skip_element(event.name());  // an index passed over, a count
        return;
    }
    consume(event, start, actions_begin, inner_begin, searches);
}

void Scan::on_empty(const XmlEvent& event) {
    std::string_view name = tested_name(event.name());
    const Frame& f = top();
    std::uint32_t begin = f.states_begin, end = f.states_end;
    for (std::uint32_t i = begin; i < end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (!name_matches(step, name)) continue;
        State& s = states_[i];
        if (s.is_probe()) {  // a self-closing child: the value is empty
            probes_[s.probe].found = true;
            s.done = true;
            ++changes_;
            continue;
        }
        Selection selection = select_by_selector(s);
        switch (selection.kind) {
            case Selection::Kind::Pass:
                break;
            case Selection::Kind::Ambiguous:
                error_ = AmbiguousPath{step.name};
                return;
            case Selection::Kind::Select:
                if (self_closing(s, s.plan[1], event) && selection.single) selection_done(i);
                break;
            case Selection::Kind::Filter:
                filter_self_closing(i, event, selection.single);
                if (error_) return;
                break;
        }
    }
}

// Reads the element whose Start was just handled, once for every state that
// acted on it: states that descend read its children as one inner level;
// the actions waiting for its end then run.
void Scan::consume(const XmlEvent& event, std::uint64_t start, std::uint32_t actions_begin,
                   std::uint32_t inner_begin, std::uint32_t searches) {
    xml::XmlReader& r = reader_of(top());
    // When states read the element's children anyway, filters read their
    // value from the same pass; the element then ends where that level ends.
    auto probes_begin = static_cast<std::uint32_t>(probes_.size());
    if (states_.size() > inner_begin) add_probes(actions_begin);
    auto inner_end = static_cast<std::uint32_t>(states_.size());
    // A leaf holds nothing a search could find.
    std::optional<std::string_view> leaf;
    if (searches > 0 && inner_end - inner_begin == searches && (leaf = r.skip_leaf(event.name()))) {
        states_.resize(inner_begin);
        if (actions_.size() == actions_begin) return;
        // Nothing but text stood between its tags: that text is the element's.
        std::string text;
        xml::append_character_data(*leaf, encoding_, text);
        return run_actions(actions_begin, start, r.position(), &text);
    }
    if (inner_end > inner_begin || read_by_depth_)  // the actions wait for the inner level's end
        return open_level(top().source, start, inner_begin, actions_begin, probes_begin);
    read_through(event, start, actions_begin);
}

// No state reads the element's children: it is read through once, for the
// actions on it.
inline void Scan::read_through(const XmlEvent& event, std::uint64_t start,
                               std::uint32_t actions_begin) {
    xml::XmlReader& r = reader_of(top());
    if (actions_.size() == actions_begin + 1) {
        Action only = actions_.back();
        if (only.kind == ActionKind::Capture &&
            paths_[states_[only.state].path].capture == FinalCapture::Span) {
            // The commonest case, a match captured as itself, without the list;
            // a leaf's text is found on the way, so reading it later needs no
            // reader.
            actions_.pop_back();
            std::uint32_t path = states_[only.state].path;
            if (auto leaf = r.skip_leaf(event.name())) {
                emit_leaf(path, start, r.position(), *leaf);
            } else {
                (void)r.skip_element(event.name());
                emit_element(path, top().source, start, r.position());
            }
            if (only.single) selection_done(only.state);
            return;
        }
        if (only.kind == ActionKind::FilterStreamed) {
            actions_.pop_back();
            return stream_filter(only, event, start);
        }
    }
    // Texts alone are collected from the live stream; the bytes are not taken.
    bool texts_only = true;
    for (std::uint32_t i = actions_begin; i < actions_.size() && texts_only; ++i) {
        const Action& a = actions_[i];
        // A count placeholder needs no text: its element is passed over as a
        // captured one is, so that both end where the same rule ends them.
        texts_only = a.kind == ActionKind::Text || a.kind == ActionKind::ProbeChild ||
                     (a.kind == ActionKind::Capture &&
                      paths_[states_[a.state].path].capture == FinalCapture::OwnedText);
    }
    if (texts_only) {
        std::string text;
        collect_text(r, text);
        return run_actions(actions_begin, start, r.position(), &text);
    }
    (void)r.skip_element(event.name());  // a missing end tag ends the element at the input's end
    run_actions(actions_begin, start, r.position(), nullptr);
}

// A level over the children of the element that starts at `context_start`:
// the states from `states_begin` test them; the actions from `actions_begin`
// wait for its end.
inline void Scan::open_level(std::uint32_t source, std::uint64_t context_start,
                             std::uint32_t states_begin, std::uint32_t actions_begin,
                             std::uint32_t probes_begin) {
    Frame& f = frames_.emplace_back();
    f.source = source;
    f.states_begin = states_begin;
    f.states_end = static_cast<std::uint32_t>(states_.size());
    f.level.has_context = true;
    f.level.context_start = context_start;
    f.level.actions_begin = actions_begin;
    f.level.actions_end = static_cast<std::uint32_t>(actions_.size());
    f.level.probes_begin = probes_begin;
}

// The actions on an element that has been read through: its bytes are
// [start, end) of the current source; `text` is its text when collected.
void Scan::run_actions(std::uint32_t first, std::uint64_t start, std::uint64_t end_position,
                       std::string* text) {
    std::uint32_t source = top().source;
    std::string_view bytes = sources_[source]->reader.input().substr(start, end_position - start);
    std::string own_text;
    if (text != nullptr) own_text = std::move(*text);
    bool have_text = text != nullptr;
    // The element's text for the action at `i`: the last action takes it.
    auto element_text = [&](std::uint32_t i, std::uint32_t last) {
        if (!have_text) own_text = item_text(bytes, encoding_);
        have_text = true;
        return i + 1 == last ? std::move(own_text) : own_text;
    };
    // Running them pushes frames and states, never actions: the list stays put.
    auto last = static_cast<std::uint32_t>(actions_.size());
    for (std::uint32_t i = first; i < last && !error_; ++i) {
        const Action& a = actions_[i];
        const State& s = states_[a.state];
        if (progress_[s.path].finished) continue;
        switch (a.kind) {
            case ActionKind::Capture:
                capture(
                    s.path, [&] { emit_element(s.path, source, start, end_position); },
                    [&] { return element_text(i, last); });
                if (a.single) selection_done(a.state);
                break;
            case ActionKind::Text:
                emit(s.path, EngineMatch::scalar(element_text(i, last)));
                if (a.single) selection_done(a.state);
                break;
            case ActionKind::Grown:
                if (out_size(s) > a.size_before) selection_done(a.state);
                break;
            case ActionKind::ProbeChild:
                probes_[a.probe] = {true, element_text(i, last)};
                states_[a.state].done = true;  // only the first child counts
                ++changes_;
                break;
            case ActionKind::FilterOnBytes:
            case ActionKind::FilterStreamed:
            case ActionKind::FilterByProbe:
                if (filter_decides(a, bytes)) rest_on_bytes(a.state, bytes, nullptr, a.single);
                break;
        }
    }
    actions_.resize(first);
}

// The start of a scan over element bytes: the first element is the context;
// terminals are answered on it, element steps read its children as a level.
void Scan::step_root() {
    if (top().root.started) return pop_frame();
    top().root.started = true;
    std::uint32_t begin = top().states_begin, end = top().states_end;
    xml::XmlReader& r = reader_of(top());
    for (std::uint32_t i = begin; i < end; ++i) {  // nothing left to run: the element itself
        State& s = states_[i];
        if (s.step != nullptr) continue;
        capture(
            s.path, [&] { emit(s.path, EngineMatch::owned(r.input())); },
            [&] { return item_text(r.input(), encoding_); });
        s.done = true;
    }
    for (;;) {
        std::uint64_t start = r.position();
        xml::ReadResult e = r.next_event();
        if (!e.ok()) continue;
        if (e.event.kind == EventKind::Eof) return;
        if (e.event.kind == EventKind::Empty) {
            for (std::uint32_t i = begin; i < end; ++i)
                if (active(states_[i])) self_closing(states_[i], *states_[i].plan, e.event);
            return;
        }
        if (e.event.kind != EventKind::Start) continue;
        auto inner_begin = static_cast<std::uint32_t>(states_.size());
        for (std::uint32_t i = begin; i < end; ++i) {
            if (!active(states_[i])) continue;
            State s = states_[i];
            if (!terminal_on_root(s, e.event, r)) states_.push_back(s);
        }
        if (states_.size() == inner_begin) return;
        auto here = static_cast<std::uint32_t>(actions_.size());
        open_level(top().source, start, inner_begin, here,
                   static_cast<std::uint32_t>(probes_.size()));
        return;
    }
}

// A level's end: count selectors report, and the element it read waits for
// nothing more.
void Scan::end_level(bool count) {
    if (count) {
        const Frame& f = top();
        for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
            const State& s = states_[i];
            if (s.step->selector == Selector::EachCount && !progress_[s.path].finished)
                emit(s.path, EngineMatch::scalar(std::to_string(s.counter)));
        }
    }
    pop_frame();
}

void Scan::pop_frame() {
    Frame f = frames_.back();
    frames_.pop_back();
    states_.resize(f.states_begin);
    if (f.kind == Frame::Kind::BytesRoot) {
        if (f.root.owns_source) sources_.pop_back();
        if (f.root.selects) selection_done(f.root.selected_state);
        return;
    }
    // The context element has been read through: what waited for it runs.
    if (f.level.actions_end > f.level.actions_begin)
        run_actions(f.level.actions_begin, f.level.context_start,
                    sources_[f.source]->reader.position(), nullptr);
    probes_.resize(f.level.probes_begin);
}

// A single selection produced output: its state takes nothing more, and
// with it ends its level, the scan of captured bytes it runs in, or its path.
void Scan::selection_done(std::uint32_t state) {
    State& s = states_[state];
    s.done = true;
    ++changes_;
    switch (s.stop) {
        case StopScope::Level:
            break;  // the level reads on to its end once nothing in it is active
        case StopScope::Bytes:
            unwind_ = true;
            break;
        case StopScope::Path:
            finish_path(s.path);
            break;
    }
}

// Ends the scan of captured bytes the top frame runs in: its levels are
// dropped, and its root ends at its next step.
void Scan::unwind() {
    unwind_ = false;
    while (!frames_.empty() && top().kind == Frame::Kind::Level) {
        const Frame& f = top();
        states_.resize(f.states_begin);
        actions_.resize(f.level.actions_begin);
        probes_.resize(f.level.probes_begin);
        frames_.pop_back();
    }
    if (!frames_.empty()) top().root.started = true;
}

void Scan::emit_element(std::uint32_t path, std::uint32_t source, std::uint64_t start,
                        std::uint64_t end) {
    if (paths_[path].count) return emit(path, {});  // nothing to copy for a count
    const Source& s = *sources_[source];
    emit(path, s.range_mode ? EngineMatch::range(start, end)
                            : EngineMatch::owned(s.reader.input().substr(start, end - start)));
}

// A leaf of the current source captured as itself, `text` lying in its bytes.
void Scan::emit_leaf(std::uint32_t path, std::uint64_t start, std::uint64_t end,
                     std::string_view text) {
    const Source& s = *sources_[top().source];
    if (paths_[path].count || !s.range_mode) return emit_element(path, top().source, start, end);
    auto text_begin = static_cast<std::uint64_t>(text.data() - s.reader.input().data());
    emit(path, EngineMatch::leaf(start, end, text_begin, text_begin + text.size()));
}

void Scan::finish_path(std::uint32_t path) {
    if (progress_[path].finished) return;
    progress_[path].finished = true;
    ++changes_;
    --unfinished_;
}

void Scan::finish_context(xml::XmlReader& r, bool has_context) {
    std::size_t depth = 1;
    for (;;) {
        xml::ReadResult e = r.next_event();
        if (!e.ok()) continue;
        if (e.event.kind == EventKind::Eof) return;
        if (e.event.kind == EventKind::Start) ++depth;
        if (e.event.kind == EventKind::End && has_context && --depth == 0) return;
    }
}

}  // namespace quorbix::engine
