#include "engine/machine/machine.hpp"

#include <algorithm>

#include "engine/element_text.hpp"
#include "engine/machine/selection.hpp"
#include "engine/name_test.hpp"

namespace quorbix::engine {

using path::PathStep;
using path::Selector;
using xml::EventKind;
using xml::XmlEvent;

Machine::Machine(Answers& answers, std::string_view bytes, std::uint64_t base, std::uint32_t depth)
    : answers_(answers),
      bytes_(bytes),
      base_(base),
      depth_of_walks_(depth),
      scoped_(answers.scoped()),
      unusual_(scoped_) {
    // Room for a few levels at once, rather than growing step by step.
    frames_.reserve(8);
    states_.reserve(16);
    actions_.reserve(8);
}

void Machine::start_document() {
    for (std::uint32_t p = 0; p < answers_.path_count(); ++p) {
        const PathStep& first = answers_.path(p).steps->front();
        if (first.is_element()) {
            push_state(p, answers_.first_plan(p), StopScope::Path);
            continue;
        }
        // A terminal at document level has no element to read: #text is
        // empty and an attribute is absent.
        if (first.kind == path::StepKind::Text) answers_.emit(p, EngineMatch::scalar({}));
        answers_.finish_path(p);
    }
    Frame& document = frames_.emplace_back();
    document.states_end = static_cast<std::uint32_t>(states_.size());
    describe(document);
    settle();
}

void Machine::start_relative(std::uint32_t path, const ComponentPlan* plan, StopScope stop) {
    relative_ = true;
    unusual_ = true;
    push_state(path, plan, stop);
    level_depth_ = 0;  // the first element, whatever its name
}

void Machine::slide(std::string_view held, std::uint64_t origin, TextPlace origin_place) {
    // Offsets shift by the bytes dropped; those of elements whose bytes are
    // never read may wrap, and are only compared with each other.
    std::uint64_t dropped = origin - base_;
    for (Frame& f : frames_) {
        f.start -= dropped;
        f.content_start -= dropped;
    }
    last_end_ -= dropped;
    bytes_ = held;
    base_ = origin;
    answers_.slide(held, origin, origin_place);
}

std::size_t Machine::first_needed() const {
    for (const Frame& f : frames_)  // outermost first
        if (f.actions_end > f.actions_begin) return f.start;
    return nowhere;
}

// A start or self-closing tag at the depth whose children the top level
// tests.
bool Machine::on_child(const XmlEvent& event, std::size_t lt, std::size_t end) {
    if (unusual_) [[unlikely]]
        return on_unusual_child(event, lt, end);
    if (event.kind == EventKind::Empty)
        on_empty(event, lt, end);
    else if (!on_start(event, lt, end))
        return true;  // no state acted on it: nothing changed
    return settle();
}

// A child where names are tested by namespace (its declarations are in
// scope for its own name and attributes, and for those inside it), or the
// first element of a relative walk.
bool Machine::on_unusual_child(const XmlEvent& event, std::size_t lt, std::size_t end) {
    if (scoped_) scope_.enter(event, depth_, answers_.encoding());
    if (relative_ && !root_seen_)
        on_root(event, lt, end);
    else if (event.kind == EventKind::Empty)
        on_empty(event, lt, end);
    else if (!on_start(event, lt, end))
        return true;
    return settle();
}

// An end tag at [lt, end) closing the element the top frame waits for.
bool Machine::on_frame_end(std::size_t lt, std::size_t end) {
    close_frame(lt, end);
    if (relative_ && depth_ == 1) frames_.clear();  // the first element ended: so does the walk
    return settle();
}

// After the machine acted: where the next tags concern it, and whether
// anything more can be answered.
bool Machine::settle() {
    frame_depth_ = level_depth_ = nowhere;
    level_span_ = 0;
    if (!frames_.empty()) {
        Frame& f = top();
        if (f.depth != 0) frame_depth_ = f.depth;
        if (level_active(f)) {
            level_depth_ = f.depth;
            if (f.deep) level_span_ = nowhere;
        }
    }
    if (frames_.empty() || !go_on()) stopped_ = true;
    return !stopped_;
}

void Machine::finish(std::size_t at) {
    if (stopped_) return;  // what was still open waits for nothing more
    while (!frames_.empty() && go_on()) {
        if (top().depth == 0) {  // the document's level
            emit_counts(top());
            frames_.pop_back();
        } else {
            close_frame(at, at);
        }
    }
}

// Whether any state of the level can still match. That changes only when a
// selection is done or a path finishes: the states are looked at again only
// then.
bool Machine::level_active(Frame& f) {
    if (f.seen_changes != answers_.changes()) {
        f.seen_changes = answers_.changes();
        f.any_active = false;
        for (std::uint32_t i = f.states_begin; i < f.states_end && !f.any_active; ++i)
            f.any_active = active(states_[i]);
    }
    return f.any_active;
}

// A start tag among the children of the top level; whether a state acted on
// it.
bool Machine::on_start(const XmlEvent& event, std::size_t lt, std::size_t end) {
    std::string_view name = tested_name(event.name());
    const Frame& f = top();
    // Only a state that names the element acts on it, or a search that goes
    // on inside it.
    std::uint32_t first_search = f.states_end;
    for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (name_matches(step, name, &scope_)) {
            act_on_start(event, lt, end, name, std::min(i, first_search));
            return true;
        }
        if (step.recursive && first_search == f.states_end) first_search = i;
    }
    // Below a deep frame, its searches test the element's children anyway.
    if (first_search == f.states_end || f.deep) return false;
    act_on_start(event, lt, end, name, first_search);
    return true;
}

// `first` is the first state that acts on the element: those before it do not.
void Machine::act_on_start(const XmlEvent& event, std::size_t lt, std::size_t end,
                           std::string_view name, std::uint32_t first) {
    std::uint32_t level_end = top().states_end;
    // What the states ask of the element gathers past the actions of the
    // open frames and the states of the open levels: in place, with nothing
    // allocated once the walk has warmed up.
    auto inner_begin = static_cast<std::uint32_t>(states_.size());
    auto actions_begin = static_cast<std::uint32_t>(actions_.size());
    for (std::uint32_t i = first; i < level_end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (states_[i].is_probe()) {  // the first child it names gives the value
            if (name_matches(step, name, &scope_))
                actions_.push_back({ActionKind::ProbeChild, false, i, states_[i].probe, 0});
            continue;
        }
        if (!name_matches(step, name, &scope_)) {
            if (step.recursive)  // searched on inside, as a level of its own
                push_state(states_[i].path, states_[i].plan, StopScope::Level);
            continue;
        }
        Selection selection;
        if (!selected(i, selection)) return;
        if (selection.kind == Selection::Kind::Select)
            select(i, event, selection.single, selection.stop);
        else if (selection.kind == Selection::Kind::Filter)
            filter(i, event, selection.single, selection.stop);
    }
    if (states_.size() == inner_begin && actions_.size() == actions_begin) return;
    // When states read the element's children anyway, filters read their
    // value from the same walk.
    std::uint32_t probes_begin = probe_count_;
    if (filtered_) add_probes(actions_begin, states_.size() > inner_begin);
    filtered_ = false;
    open_frame(inner_begin, actions_begin, probes_begin, lt, end);
}

// A frame over the element that starts at `lt` and whose start tag ends at
// `end`: the states from `states_begin` test its children; the actions from
// `actions_begin` wait for its end.
void Machine::open_frame(std::uint32_t states_begin, std::uint32_t actions_begin,
                         std::uint32_t probes_begin, std::size_t lt, std::size_t end) {
    Frame& f = frames_.emplace_back();
    f.depth = depth_ + 1;
    f.states_begin = states_begin;
    f.states_end = static_cast<std::uint32_t>(states_.size());
    f.actions_begin = actions_begin;
    f.actions_end = static_cast<std::uint32_t>(actions_.size());
    f.probes_begin = probes_begin;
    f.start = lt;
    f.content_start = end;
    describe(f);
}

// What a new frame's states make of it: whether it is deep, whether it counts.
void Machine::describe(Frame& f) const {
    bool deep = f.states_end > f.states_begin;
    for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
        const State& s = states_[i];
        path::Selector selector = s.step->selector;
        f.counts = f.counts || selector == Selector::EachCount;
        // A search keeps nothing per level when its selector counts nothing
        // and no second match at one level is an error.
        deep = deep && s.step->recursive && !s.is_probe() &&
               ((selector == Selector::None && !s.plan->must_be_unique) ||
                selector == Selector::EachAll || selector == Selector::FilterAll);
    }
    f.deep = deep;
}

void Machine::on_empty(const XmlEvent& event, std::size_t lt, std::size_t end) {
    std::string_view name = tested_name(event.name());
    std::uint32_t begin = top().states_begin, level_end = top().states_end;
    for (std::uint32_t i = begin; i < level_end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = *states_[i].step;
        if (!name_matches(step, name, &scope_)) continue;
        State& s = states_[i];
        if (s.is_probe()) {  // a self-closing child: the value is empty
            probes_[s.probe].found = true;
            s.done = true;
            answers_.changed();
            continue;
        }
        Selection selection;
        if (!selected(i, selection)) return;
        if (selection.kind == Selection::Kind::Select) {
            if (self_closing(s, s.plan[1], event, lt, end) && selection.single) selection_done(i);
        } else if (selection.kind == Selection::Kind::Filter) {
            filter_self_closing(i, lt, end, selection.single);
            if (answers_.over()) return;
        }
    }
}

// The first element of a relative walk: terminals are answered on it, the
// element steps read its children as a level.
void Machine::on_root(const XmlEvent& event, std::size_t lt, std::size_t end) {
    root_seen_ = true;
    unusual_ = scoped_;
    auto root_end = static_cast<std::uint32_t>(states_.size());
    for (std::uint32_t i = 0; i < root_end; ++i) {  // nothing left to run: the element itself
        State& s = states_[i];
        if (s.step != nullptr) continue;
        answers_.capture(
            s.path, [&] { return element(0, bytes_.size()); },
            [&] { return item_text(bytes_, answers_.encoding(), answers_.entities()); });
        s.done = true;
    }
    if (event.kind == EventKind::Empty) {
        for (std::uint32_t i = 0; i < root_end; ++i)
            if (active(states_[i])) self_closing(states_[i], *states_[i].plan, event, lt, end);
        return;
    }
    for (std::uint32_t i = 0; i < root_end; ++i) {
        if (!active(states_[i])) continue;
        State s = states_[i];
        if (!terminal_on_root(s, event)) states_.push_back(s);
    }
    if (states_.size() == root_end) return;
    open_frame(root_end, static_cast<std::uint32_t>(actions_.size()), probe_count_, lt, end);
}

// The top frame's element ends with the end tag at [lt, end).
void Machine::close_frame(std::size_t lt, std::size_t end) {
    const Frame& f = frames_.back();
    emit_counts(f);
    states_.resize(f.states_begin);
    std::uint32_t probes_begin = f.probes_begin;
    if (f.actions_end > f.actions_begin) {
        // What its actions read of it is read in the declarations of its
        // own start tag and its ancestors'.
        if (scoped_) scope_.leave(f.depth - 1);
        // Nothing but text stood between its tags: that text is the element's.
        bool leaf = last_end_ == f.content_start;
        std::string_view text = bytes_.substr(f.content_start, lt - f.content_start);
        std::uint32_t actions_begin = f.actions_begin;
        std::uint64_t start = f.start;
        frames_.pop_back();
        run_actions(actions_begin, start, end, text, leaf);
    } else {
        frames_.pop_back();
    }
    probe_count_ = probes_begin;
}

// A new probe's slot, its value not found yet. Slots are reused, with the
// room their texts took.
std::uint32_t Machine::new_probe() {
    if (probes_.size() == probe_count_) probes_.emplace_back();
    ProbeValue& value = probes_[probe_count_];
    value.found = false;
    value.text.clear();
    return probe_count_++;
}

// A level's end: its count selectors report.
void Machine::emit_counts(const Frame& f) {
    if (!f.counts) return;
    for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
        const State& s = states_[i];
        if (s.step->selector == Selector::EachCount && !answers_.finished(s.path))
            answers_.emit(s.path, EngineMatch::scalar(std::to_string(s.counter)));
    }
}

// The actions on an element that has ended: its bytes are [start, end); when
// it is a leaf, `leaf_text` is its raw text.
void Machine::run_actions(std::uint32_t first, std::uint64_t start, std::uint64_t end,
                          std::string_view leaf_text, bool leaf) {
    std::string_view bytes = bytes_.substr(start, end - start);
    std::string own_text;
    bool have_text = false;
    // The element's text for the action at `i`: the last action takes it.
    auto element_text = [&](std::uint32_t i, std::uint32_t last) {
        if (!have_text) own_text = text_of(bytes, leaf_text, leaf);
        have_text = true;
        return i + 1 == last ? std::move(own_text) : own_text;
    };
    // Running them adds no actions: the list stays put.
    auto last = static_cast<std::uint32_t>(actions_.size());
    for (std::uint32_t i = first; i < last && !answers_.over(); ++i) {
        const Action& a = actions_[i];
        const State& s = states_[a.state];
        if (answers_.finished(s.path)) continue;
        switch (a.kind) {
            case ActionKind::Capture:
                deliver(s, answers_.match_of(
                               s.path,
                               [&] {
                                   return leaf ? this->leaf(start, end, leaf_text)
                                               : element(start, end);
                               },
                               [&] { return element_text(i, last); }));
                if (a.single) selection_done(a.state);
                break;
            case ActionKind::Text:
                answers_.emit(s.path, EngineMatch::scalar(element_text(i, last)));
                if (a.single) selection_done(a.state);
                break;
            case ActionKind::Grown:
                if (answers_.emitted(s.path) > a.size_before) selection_done(a.state);
                break;
            case ActionKind::ProbeChild:
                probes_[a.probe].found = true;
                if (leaf)
                    xml::append_character_data(leaf_text, answers_.encoding(),
                                               probes_[a.probe].text, answers_.entities());
                else
                    probes_[a.probe].text = element_text(i, last);
                states_[a.state].done = true;  // only the first child counts
                answers_.changed();
                break;
            case ActionKind::FilterStreamed:
                decide_streamed(a, start, end, leaf_text, leaf);
                break;
            case ActionKind::FilterOnBytes:
            case ActionKind::FilterByProbe:
                if (filter_decides(a, bytes)) rest_on_bytes(a.state, start, end, a.single);
                break;
        }
    }
    actions_.resize(first);
}

// What the selector of state `i` makes of an element that passed its name
// test; false when it makes the path ambiguous, which ends the evaluation.
bool Machine::selected(std::uint32_t i, Selection& selection) {
    selection = select_by_selector(states_[i]);
    if (selection.kind != Selection::Kind::Ambiguous) return true;
    answers_.fail(AmbiguousPath{states_[i].step->name});
    return false;
}

// A single selection produced output: its state takes nothing more, and
// with it ends its level, the walk over the bytes it runs in, or its path.
void Machine::selection_done(std::uint32_t state) {
    State& s = states_[state];
    s.done = true;
    answers_.changed();
    switch (s.stop) {
        case StopScope::Level:
            break;  // the level's children concern it no more
        case StopScope::Bytes:
            stop_here_ = true;
            break;
        case StopScope::Path:
            answers_.finish_path(s.path);
            break;
    }
}

// The declarations in scope where an element match at `start` was found, if
// any, kept for the caller: the text is made again only when they changed,
// so that the matches of one scope share one.
void Machine::keep_scope(std::uint64_t start) const {
    MatchScopes* scopes = answers_.scopes();
    if (scopes == nullptr || scope_.empty()) return;
    if (!scope_text_ || scope_text_changes_ != scope_.changes()) {
        scope_text_ = std::make_shared<const std::string>(scope_.declarations());
        scope_text_changes_ = scope_.changes();
    }
    scopes->keep(start, scope_text_);
}

std::string Machine::text_of(std::string_view bytes, std::string_view leaf_text, bool leaf) const {
    if (!leaf) return item_text(bytes, answers_.encoding(), answers_.entities());
    std::string text;
    xml::append_character_data(leaf_text, answers_.encoding(), text, answers_.entities());
    return text;
}

}  // namespace quorbix::engine
