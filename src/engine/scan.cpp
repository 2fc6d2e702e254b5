#include "engine/scan.hpp"

#include <algorithm>

#include "engine/element_text.hpp"
#include "engine/name_test.hpp"
#include "path/filter.hpp"
#include "xml/character_data.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

using path::FinalCapture;
using path::PathStep;
using path::Selector;
using path::StepKind;
using xml::EventKind;
using xml::XmlEvent;

namespace {

std::string rebuild_empty(const XmlEvent& event) {
    std::string bytes = "<";
    bytes += event.content;
    bytes += "/>";
    return bytes;
}

// The streaming filter strategy decides in the scan's own pass: the filter
// reads one plain child's text, and what follows is at most one simple step.
// A last step whose path records texts (OwnedText) is decided on the bytes.
bool streams(const std::vector<PathStep>& steps, std::size_t component, FinalCapture capture) {
    if (steps[component].filter->shape != path::FilterShape::OneChild) return false;
    if (component + 1 == steps.size()) return capture != FinalCapture::OwnedText;
    if (component + 2 != steps.size()) return false;
    const PathStep& next = steps[component + 1];
    if (next.kind == StepKind::Attribute) return true;
    return next.is_element() && !next.recursive &&
           (next.selector == Selector::None || next.selector == Selector::Index);
}

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
      finished_(paths_.size(), false),
      emitted_(paths_.size(), 0),
      unfinished_(paths_.size()) {
    for (const ScanPath& p : paths_)
        decode_names_ = decode_names_ || names_replacement_character(*p.steps);
    sources_.push_back(std::make_unique<Source>(
        Source{nullptr, {bytes, xml::evaluation_profile(), encoding}, range_mode}));
}

std::optional<AmbiguousPath> Scan::run_document() {
    Frame level;
    for (std::uint32_t p = 0; p < paths_.size(); ++p) {
        const PathStep& first = paths_[p].steps->front();
        if (first.is_element()) {
            push_state(p, 0, StopScope::Path);
            continue;
        }
        // A terminal at document level has no element to read: #text is
        // empty and an attribute is absent.
        if (first.kind == StepKind::Text) emit(p, EngineMatch::scalar({}));
        finish_path(p);
    }
    level.states_end = static_cast<std::uint32_t>(states_.size());
    if (level.states_end > 0) frames_.push_back(level);
    return run();
}

std::optional<AmbiguousPath> Scan::run_relative() {
    Frame root;
    root.bytes_root = true;
    for (std::uint32_t p = 0; p < paths_.size(); ++p) push_state(p, 0, StopScope::Path);
    root.states_end = static_cast<std::uint32_t>(states_.size());
    frames_.push_back(root);
    return run();
}

std::optional<AmbiguousPath> Scan::run() {
    while (!frames_.empty() && !error_ && unfinished_ > 0) {
        if (unwind_)
            unwind();
        else if (top().bytes_root)
            step_root();
        else
            step_level();
    }
    for (std::uint32_t p = 0; p < paths_.size(); ++p)
        if (paths_[p].count)
            paths_[p].out->push_back(EngineMatch::scalar(std::to_string(emitted_[p])));
    return std::move(error_);
}

// One event of a level: the children of its context element, or of the
// document, tested against the components of its states.
void Scan::step_level() {
    Frame& f = top();
    xml::XmlReader& r = reader_of(f);
    // Whether anything here can still match changes only when a selection
    // is done or a path finishes; the states are looked at again only then.
    if (f.seen_changes != changes_) {
        f.seen_changes = changes_;
        bool any_active = false;
        for (std::uint32_t i = f.states_begin; i < f.states_end && !any_active; ++i)
            any_active = active(states_[i]);
        if (!any_active) {  // read on to the level's end
            finish_context(r, f.has_context);
            return end_level(false);
        }
    }
    r.skip_text();  // a level looks only at tags
    std::uint64_t start = r.position();
    if (r.read_next() != xml::ReaderError::None)  // malformed XML ends the level
        return end_level(false);
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
        default:
            return;
    }
}

// A component with no selector that the path continues from must match once
// per level: a second match is the error.
bool Scan::ambiguous(State& s) {
    if (is_last(s, s.component)) return false;
    if (s.seen_match) {
        error_ = AmbiguousPath{component_of(s).name};
        return true;
    }
    s.seen_match = true;
    return false;
}

void Scan::on_start(const XmlEvent& event, std::uint64_t start) {
    std::string_view name = tested_name(event.name());
    const Frame& f = top();
    // Most elements concern no state, or only searches that a leaf cannot
    // satisfy: they are passed over at once.
    std::uint32_t first_search = f.states_end;
    for (std::uint32_t i = f.states_begin; i < f.states_end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = component_of(states_[i]);
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
    std::uint32_t begin = first, end = top().states_end;
    // What the states ask of the element gathers past the actions of the
    // open levels and the states of the open frames: in place, with nothing
    // allocated once the scan has warmed up.
    auto inner_begin = static_cast<std::uint32_t>(states_.size());
    auto actions_begin = static_cast<std::uint32_t>(actions_.size());
    std::uint32_t searches = 0;
    read_by_depth_ = false;
    for (std::uint32_t i = begin; i < end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = component_of(states_[i]);
        if (states_[i].probe != 0) {  // the first child it names gives the value
            if (name_matches(step, name))
                actions_.push_back({ActionKind::Probed, false, i, 0, states_[i].probe - 1});
            continue;
        }
        if (!name_matches(step, name)) {
            if (step.recursive) {  // searched on inside, as a level of its own
                search(i);
                ++searches;
            }
            continue;
        }
        State& s = states_[i];
        switch (step.selector) {
            case Selector::None:
                if (ambiguous(s)) return;
                ++s.counter;
                select(i, event, false, s.stop);
                break;
            case Selector::Index:
                if (s.counter++ == step.index) select(i, event, true, s.stop);
                break;
            case Selector::EachCount:
                ++s.counter;
                break;
            case Selector::EachAll:
                ++s.counter;
                select(i, event, false, StopScope::Level);
                break;
            case Selector::FilterFirst:
            case Selector::FilterAll:
                ++s.counter;
                filter(i, event);
                break;
        }
    }
    if (states_.size() == inner_begin && actions_.size() == actions_begin && !read_by_depth_) {
        (void)reader_of(top()).skip_element(event.name());  // an index passed over, a count
        return;
    }
    consume(event, start, actions_begin, inner_begin, searches);
}

void Scan::search(std::uint32_t state) {
    push_state(states_[state].path, states_[state].component, StopScope::Level);
}

// A matched element with a start tag: the rest of the path runs inside it, or
// it is the answer itself. `stop` is where a single selection below ends.
void Scan::select(std::uint32_t state, const XmlEvent& event, bool single, StopScope stop) {
    const State& s = states_[state];
    std::uint32_t next = s.component + 1;
    std::uint64_t before = out_size(s);
    if (next == steps_of(s).size())
        return actions_.push_back({ActionKind::Capture, single, state, before, 0});
    const PathStep& step = steps_of(s)[next];
    if (step.kind == StepKind::Attribute) {  // answered from the start tag
        if (attribute_value(event, step.name, encoding_, scratch_))
            emit(s.path, EngineMatch::scalar(scratch_));
        if (single && out_size(states_[state]) > before) selection_done(state);
        // The path went on into the element, so it ends where a level
        // inside it would: at the first end tag at its depth.
        read_by_depth_ = true;
        return;
    }
    if (step.kind == StepKind::Text)
        return actions_.push_back({ActionKind::Text, single, state, before, 0});
    std::uint32_t path = s.path;
    push_state(path, next, stop);  // `s` is not used past this point
    if (single) actions_.push_back({ActionKind::Grown, true, state, before, 0});
}

void Scan::filter(std::uint32_t state, const XmlEvent& event) {
    const State& s = states_[state];
    const PathStep& step = component_of(s);
    const path::FilterExpr& f = *step.filter;
    bool first = step.selector == Selector::FilterFirst;
    if (f.shape == path::FilterShape::Attribute) {  // decided on the start tag, in the live stream
        bool holds = attribute_value(event, f.lhs[0].name, encoding_, scratch_) &&
                     path::filter_compare(scratch_, f.op, f.value);
        if (holds) select(state, event, first, first ? s.stop : StopScope::Level);
        return;
    }
    bool stream = streams(steps_of(s), s.component, paths_[s.path].capture);
    actions_.push_back({stream ? ActionKind::Stream : ActionKind::Filter, first, state, 0, 0});
}

void Scan::on_empty(const XmlEvent& event) {
    std::string_view name = tested_name(event.name());
    const Frame& f = top();
    std::uint32_t begin = f.states_begin, end = f.states_end;
    for (std::uint32_t i = begin; i < end; ++i) {
        if (!active(states_[i])) continue;
        const PathStep& step = component_of(states_[i]);
        if (!name_matches(step, name)) continue;
        State& s = states_[i];
        if (s.probe != 0) {  // a self-closing child: the value is empty
            probes_[s.probe - 1].found = true;
            s.done = true;
            ++changes_;
            continue;
        }
        switch (step.selector) {
            case Selector::None:
                if (ambiguous(s)) return;
                [[fallthrough]];
            case Selector::EachAll:
                ++s.counter;
                self_closing(s, s.component + 1, event);
                break;
            case Selector::Index:
                if (s.counter++ == step.index && self_closing(s, s.component + 1, event))
                    selection_done(i);
                break;
            case Selector::EachCount:
                ++s.counter;
                break;
            case Selector::FilterFirst:
            case Selector::FilterAll: {
                ++s.counter;
                auto rebuilt = std::make_unique<std::string>(rebuild_empty(event));
                bool holds = filter_holds(*rebuilt, *step.filter);
                if (error_) return;
                if (!holds) break;
                std::string_view bytes = *rebuilt;
                rest_on_bytes(i, bytes, std::move(rebuilt), step.selector == Selector::FilterFirst);
                break;
            }
        }
    }
}

// A self-closing match and what `component` (the one after the matched
// step) asks of it; true when something was appended.
bool Scan::self_closing(const State& s, std::uint32_t component, const XmlEvent& event) {
    const auto& steps = steps_of(s);
    if (component == steps.size()) {
        capture(
            s.path, [&] { emit(s.path, EngineMatch::owned(rebuild_empty(event))); },
            [] { return std::string(); });
        return true;
    }
    const PathStep& step = steps[component];
    if (step.kind == StepKind::Attribute) {
        if (!attribute_value(event, step.name, encoding_, scratch_)) return false;
        emit(s.path, EngineMatch::scalar(scratch_));
        return true;
    }
    if (step.kind == StepKind::Text) {
        emit(s.path, EngineMatch::scalar({}));
        return true;
    }
    return false;  // an element step: a self-closing element has no children
}

// Filters whose value is one plain child's text read it while the element's
// children stream past, as probes of the inner level, rather than reading the
// element's bytes again at its end.
void Scan::add_probes(std::uint32_t actions_begin) {
    for (std::uint32_t i = actions_begin; i < actions_.size(); ++i) {
        Action& a = actions_[i];
        if (a.kind != ActionKind::Filter && a.kind != ActionKind::Stream) continue;
        const path::FilterExpr& f = *component_of(states_[a.state]).filter;
        if (f.shape != path::FilterShape::OneChild) continue;
        const PathStep& left = f.lhs[0];
        a.kind = ActionKind::Filter;
        probes_.emplace_back();
        a.probe = static_cast<std::uint32_t>(probes_.size());
        std::uint32_t path = states_[a.state].path;
        State& probe = states_.emplace_back();
        probe.step = &left;
        probe.path = path;
        probe.stop = StopScope::Level;
        probe.probe = a.probe;
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
    bool acts = actions_.size() > actions_begin;
    // A leaf holds nothing a search could find.
    std::optional<std::string_view> leaf;
    if (searches > 0 && inner_end - inner_begin == searches && (leaf = r.skip_leaf(event.name()))) {
        states_.resize(inner_begin);
        if (!acts) return;
        // Nothing but text stood between its tags: that text is the element's.
        std::string text;
        xml::append_character_data(*leaf, encoding_, text);
        return run_actions(actions_begin, start, r.position(), &text);
    }
    if (inner_end > inner_begin || read_by_depth_) {  // the actions wait for the inner level's end
        Frame& level = frames_.emplace_back();
        level.has_context = true;
        level.source = frames_[frames_.size() - 2].source;
        level.states_begin = inner_begin;
        level.states_end = inner_end;
        level.context_start = start;
        level.actions_begin = actions_begin;
        level.actions_end = static_cast<std::uint32_t>(actions_.size());
        level.probes_begin = probes_begin;
        return;
    }
    if (actions_.size() == actions_begin + 1 && actions_.back().kind == ActionKind::Capture &&
        paths_[states_[actions_.back().state].path].capture == FinalCapture::Span) {
        // The commonest case, a match captured as itself, without the list.
        Action capture = actions_.back();
        actions_.pop_back();
        (void)r.skip_element(event.name());
        emit_element(states_[capture.state].path, top().source, start, r.position());
        if (capture.single) selection_done(capture.state);
        return;
    }
    if (actions_.size() == actions_begin + 1 && actions_.back().kind == ActionKind::Stream) {
        Action stream = actions_.back();
        actions_.pop_back();
        return stream_filter(stream, event, start);
    }
    // Texts alone are collected from the live stream; the bytes are not taken.
    bool texts_only = true;
    for (std::uint32_t i = actions_begin; i < actions_.size() && texts_only; ++i) {
        const Action& a = actions_[i];
        // A count placeholder needs no text: its element is passed over as a
        // captured one is, so that both end where the same rule ends them.
        texts_only = a.kind == ActionKind::Text || a.kind == ActionKind::Probed ||
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
        const Action* a = &actions_[i];
        const State& s = states_[a->state];
        if (finished_[s.path]) continue;
        switch (a->kind) {
            case ActionKind::Capture:
                capture(
                    s.path, [&] { emit_element(s.path, source, start, end_position); },
                    [&] { return element_text(i, last); });
                if (a->single) selection_done(a->state);
                break;
            case ActionKind::Text:
                emit(s.path, EngineMatch::scalar(element_text(i, last)));
                if (a->single) selection_done(a->state);
                break;
            case ActionKind::Grown:
                if (out_size(s) > a->size_before) selection_done(a->state);
                break;
            case ActionKind::Probed: {
                probes_[a->probe] = {true, element_text(i, last)};
                states_[a->state].done = true;  // only the first child counts
                ++changes_;
                break;
            }
            case ActionKind::Filter:
            case ActionKind::Stream: {
                const path::FilterExpr& f = *component_of(s).filter;
                bool holds = a->probe == 0 ? filter_holds(bytes, f)
                                           : probes_[a->probe - 1].found &&
                                                 path::filter_compare(probes_[a->probe - 1].text,
                                                                      f.op, f.value);
                if (holds) rest_on_bytes(a->state, bytes, nullptr, a->single);
                break;
            }
        }
    }
    actions_.resize(first);
}

void Scan::stream_filter(const Action& action, const XmlEvent& event, std::uint64_t start) {
    const State& s = states_[action.state];
    const auto& steps = steps_of(s);
    const path::FilterExpr& f = *steps[s.component].filter;
    const PathStep& left = f.lhs[0];
    const PathStep* next = is_last(s, s.component) ? nullptr : &steps[s.component + 1];
    bool next_is_element = next != nullptr && next->is_element();
    std::uint32_t source = top().source;
    xml::XmlReader& r = reader_of(top());

    std::string value;
    bool have_value = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gathered;  // candidates of `next`
    std::uint64_t next_counter = 0;
    for (;;) {
        std::uint64_t child_start = r.position();
        xml::ReadResult e = r.next_event();
        if (!e.ok()) break;
        EventKind kind = e.event.kind;
        if (kind == EventKind::End || kind == EventKind::Eof) break;
        if (kind != EventKind::Start && kind != EventKind::Empty) continue;
        std::string_view name = e.event.name();
        std::string_view tested = tested_name(name);
        bool filter_child = !have_value && name_matches(left, tested);
        bool candidate = next_is_element && name_matches(*next, tested) &&
                         (next->selector != Selector::Index || next_counter++ == next->index);
        if (kind == EventKind::Start) {
            if (filter_child)
                collect_text(r, value);
            else
                (void)r.skip_element(name);
        }
        have_value = have_value || filter_child;
        if (candidate) gathered.emplace_back(child_start, r.position());
    }
    std::uint64_t end = r.position();

    bool holds = have_value && path::filter_compare(value, f.op, f.value);
    if (!holds) return;
    // The element, or the children gathered for the step after it, are the
    // path's final matches, recorded as its capture asks.
    auto record = [&](std::uint64_t from, std::uint64_t to) {
        capture(
            s.path, [&] { emit_element(s.path, source, from, to); },
            [&] { return item_text(r.input().substr(from, to - from), encoding_); });
    };
    if (next == nullptr) {
        record(start, end);
    } else if (next->kind == StepKind::Attribute) {
        if (attribute_value(event, next->name, encoding_, scratch_))
            emit(s.path, EngineMatch::scalar(scratch_));
    } else {
        for (auto [from, to] : gathered) record(from, to);
    }
    if (action.single) selection_done(action.state);
}

// The text of the first child of the first element in `element` that passes
// `step`'s name test (empty when it is self-closing); false when none does.
bool Scan::first_child_text(std::string_view element, const PathStep& step, std::string& text) {
    xml::XmlReader r(element, xml::evaluation_profile(), encoding_);
    bool inside = false;
    for (;;) {
        xml::ReadResult e = r.next_event();
        if (!e.ok()) continue;
        EventKind kind = e.event.kind;
        if (kind == EventKind::End || kind == EventKind::Eof) return false;
        if (kind != EventKind::Start && kind != EventKind::Empty) continue;
        if (!inside) {
            if (kind == EventKind::Empty) return false;  // a self-closing element has no children
            inside = true;
            continue;
        }
        // Not tested_name: the caller's tested name may live in its scratch.
        std::string scratch;
        if (!name_matches(step, xml::utf8_name(e.event.name(), encoding_, scratch))) {
            if (kind == EventKind::Start) (void)r.skip_element(e.event.name());
            continue;
        }
        if (kind == EventKind::Start) collect_text(r, text);
        return true;
    }
}

bool Scan::filter_holds(std::string_view element, const path::FilterExpr& filter) {
    std::string text;
    if (filter.shape == path::FilterShape::OwnText) {
        text = item_text(element, encoding_);
    } else if (filter.shape == path::FilterShape::OneChild) {
        // One plain child: the first of that name is read, nothing is built.
        if (!first_child_text(element, filter.lhs[0], text)) return false;
    } else {  // an attribute of captured bytes, or a path
        // The left side runs relative to the element, as a scan of its own;
        // filters nest at most a fixed depth, so this recursion is bounded.
        Matches found;
        Scan left(element, encoding_, {ScanPath{&filter.lhs, &found}}, true);
        if (auto ambiguous = left.run_relative()) {
            error_ = std::move(ambiguous);
            return false;
        }
        if (found.empty()) return false;
        EngineMatch& first = found.front();
        switch (first.kind) {
            case EngineMatch::Kind::ScalarText:
                text = std::move(first.bytes);
                break;
            case EngineMatch::Kind::OwnedElement:
                text = item_text(first.bytes, encoding_);
                break;
            case EngineMatch::Kind::ElementRange:
                text = item_text(element.substr(first.start, first.end - first.start), encoding_);
                break;
        }
    }
    return path::filter_compare(text, filter.op, filter.value);
}

// Runs the components after `state`'s over an element's bytes, with a fresh
// reader; `selects` marks the state's single selection done when it ends.
void Scan::rest_on_bytes(std::uint32_t state, std::string_view bytes,
                         std::unique_ptr<std::string> owned, bool selects) {
    sources_.push_back(std::make_unique<Source>(Source{
        std::move(owned), xml::XmlReader(bytes, xml::evaluation_profile(), encoding_), false}));
    Frame root;
    root.bytes_root = true;
    root.owns_source = true;
    root.source = static_cast<std::uint32_t>(sources_.size() - 1);
    root.selects = selects;
    root.selected_state = state;
    root.states_begin = static_cast<std::uint32_t>(states_.size());
    push_state(states_[state].path, states_[state].component + 1, StopScope::Bytes);
    root.states_end = root.states_begin + 1;
    frames_.push_back(root);
}

// The start of a scan over element bytes: the first element is the context;
// terminals are answered on it, element steps read its children as a level.
void Scan::step_root() {
    if (top().started) return pop_frame();
    top().started = true;
    std::uint32_t begin = top().states_begin, end = top().states_end;
    xml::XmlReader& r = reader_of(top());
    for (std::uint32_t i = begin; i < end; ++i) {  // nothing left to run: the element itself
        State& s = states_[i];
        if (s.component < steps_of(s).size()) continue;
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
                if (active(states_[i])) self_closing(states_[i], states_[i].component, e.event);
            return;
        }
        if (e.event.kind != EventKind::Start) continue;
        auto inner_begin = static_cast<std::uint32_t>(states_.size());
        for (std::uint32_t i = begin; i < end; ++i) {
            if (!active(states_[i])) continue;
            State s = states_[i];
            const PathStep& step = component_of(s);
            if (step.kind == StepKind::Attribute) {
                if (attribute_value(e.event, step.name, encoding_, scratch_))
                    emit(s.path, EngineMatch::scalar(scratch_));
            } else if (step.kind == StepKind::Text) {
                emit(s.path, EngineMatch::scalar(item_text(r.input(), encoding_)));
            } else {
                states_.push_back(s);
            }
        }
        auto inner_end = static_cast<std::uint32_t>(states_.size());
        if (inner_end == inner_begin) return;
        Frame level;
        level.has_context = true;
        level.source = top().source;
        level.states_begin = inner_begin;
        level.states_end = inner_end;
        level.context_start = start;
        level.actions_begin = level.actions_end = static_cast<std::uint32_t>(actions_.size());
        level.probes_begin = static_cast<std::uint32_t>(probes_.size());
        frames_.push_back(level);
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
            if (component_of(s).selector == Selector::EachCount && !finished_[s.path])
                emit(s.path, EngineMatch::scalar(std::to_string(s.counter)));
        }
    }
    pop_frame();
}

void Scan::pop_frame() {
    Frame f = frames_.back();
    frames_.pop_back();
    states_.resize(f.states_begin);
    if (f.bytes_root) {
        if (f.owns_source) sources_.pop_back();
        if (f.selects) selection_done(f.selected_state);
        return;
    }
    // The context element has been read through: what waited for it runs.
    if (f.actions_end > f.actions_begin)
        run_actions(f.actions_begin, f.context_start, sources_[f.source]->reader.position(),
                    nullptr);
    probes_.resize(f.probes_begin);
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
    while (!frames_.empty() && !top().bytes_root) {
        const Frame& f = top();
        states_.resize(f.states_begin);
        actions_.resize(f.actions_begin);
        if (!f.bytes_root) probes_.resize(f.probes_begin);
        frames_.pop_back();
    }
    if (!frames_.empty()) top().started = true;
}

void Scan::emit_element(std::uint32_t path, std::uint32_t source, std::uint64_t start,
                        std::uint64_t end) {
    if (paths_[path].count) return emit(path, {});  // nothing to copy for a count
    const Source& s = *sources_[source];
    emit(path, s.range_mode ? EngineMatch::range(start, end)
                            : EngineMatch::owned(s.reader.input().substr(start, end - start)));
}

void Scan::finish_path(std::uint32_t path) {
    if (finished_[path]) return;
    finished_[path] = true;
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
