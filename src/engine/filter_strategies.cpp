// The filter strategies: how a component's filter decides on a candidate.
// On the start tag (one attribute), while the candidate's children stream
// past (one plain child's text, at most one simple step after it), by a probe
// in a level that reads the children anyway, or on the candidate's bytes
// once it has been read through. The plan (plan.hpp) picks the strategy.
#include "engine/element_text.hpp"
#include "engine/name_test.hpp"
#include "engine/scan.hpp"
#include "engine/selection.hpp"
#include "path/filter.hpp"

namespace quorbix::engine {

using path::PathStep;
using xml::EventKind;
using xml::XmlEvent;

// A candidate with a start tag. `single` and `stop` are its selection's.
void Scan::filter(std::uint32_t state, const XmlEvent& event, bool single, StopScope stop) {
    const ComponentPlan& plan = *states_[state].plan;
    const path::FilterExpr& f = *plan.step->filter;
    switch (plan.filter) {
        case FilterStrategy::StartTag: {  // decided in the live stream
            bool holds = attribute_value(event, f.lhs[0].name, encoding_, scratch_) &&
                         path::filter_compare(scratch_, f.op, f.value);
            if (holds) select(state, event, single, stop);
            return;
        }
        case FilterStrategy::Streamed:
            return actions_.push_back({ActionKind::FilterStreamed, single, state, no_probe, 0});
        case FilterStrategy::OnBytes:
        case FilterStrategy::None:
            return actions_.push_back({ActionKind::FilterOnBytes, single, state, no_probe, 0});
    }
}

// A self-closing candidate: decided on its bytes, rebuilt from the tag.
void Scan::filter_self_closing(std::uint32_t state, const XmlEvent& event, bool single) {
    auto rebuilt = std::make_unique<std::string>(self_closing_bytes(event));
    bool holds = filter_holds(*rebuilt, *states_[state].step->filter);
    if (error_ || !holds) return;
    std::string_view bytes = *rebuilt;
    rest_on_bytes(state, bytes, std::move(rebuilt), single);
}

// Filters whose value is one plain child's text read it while the element's
// children stream past, as probes of the inner level, rather than reading the
// element's bytes again at its end.
void Scan::add_probes(std::uint32_t actions_begin) {
    for (std::uint32_t i = actions_begin; i < actions_.size(); ++i) {
        Action& a = actions_[i];
        if (a.kind != ActionKind::FilterOnBytes && a.kind != ActionKind::FilterStreamed) continue;
        const State& filtered = states_[a.state];
        if (!filtered.plan->probes) continue;
        a.kind = ActionKind::FilterByProbe;
        a.probe = static_cast<std::uint32_t>(probes_.size());
        probes_.emplace_back();
        std::uint32_t path = filtered.path;
        const PathStep* left = &filtered.step->filter->lhs[0];
        State& probe = states_.emplace_back();  // `filtered` is not used past this point
        probe.step = left;
        probe.path = path;
        probe.stop = StopScope::Level;
        probe.probe = a.probe;
    }
}

// Whether the filter of an action on an element that has been read through
// holds: on its probe's value, or on the element's bytes.
bool Scan::filter_decides(const Action& action, std::string_view bytes) {
    const path::FilterExpr& f = *states_[action.state].step->filter;
    if (action.kind != ActionKind::FilterByProbe) return filter_holds(bytes, f);
    const ProbeValue& value = probes_[action.probe];
    return value.found && path::filter_compare(value.text, f.op, f.value);
}

// The streamed strategy: the candidate's children are read once, the first
// that the filter names giving its value and those the next component
// selects being gathered; at the candidate's end the filter decides.
void Scan::stream_filter(const Action& action, const XmlEvent& event, std::uint64_t start) {
    const State& s = states_[action.state];
    const ComponentPlan& plan = *s.plan;
    const path::FilterExpr& f = *plan.step->filter;
    const PathStep& left = f.lhs[0];
    // The next component's selector picks its candidates, as at any level.
    bool gathers = plan.next_ask == NextAsk::Descend;
    State next;
    if (gathers) {
        next.plan = s.plan + 1;
        next.step = plan.next;
    }
    std::uint32_t source = top().source;
    xml::XmlReader& r = reader_of(top());

    std::string value;
    bool have_value = false;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gathered;
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
        bool candidate = gathers && name_matches(*next.step, tested) &&
                         select_by_selector(next).kind == Selection::Kind::Select;
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
    switch (plan.next_ask) {
        case NextAsk::Capture:
            record(start, end);
            break;
        case NextAsk::Attribute:
            if (attribute_value(event, plan.next->name, encoding_, scratch_))
                emit(s.path, EngineMatch::scalar(scratch_));
            break;
        case NextAsk::Descend:
            for (auto [from, to] : gathered) record(from, to);
            break;
        case NextAsk::Text:
            break;  // the plan does not stream before #text
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

// The filter decided on a candidate's bytes.
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
    auto states_begin = static_cast<std::uint32_t>(states_.size());
    push_state(states_[state].path, states_[state].plan + 1, StopScope::Bytes);
    Frame& root = frames_.emplace_back();
    root.kind = Frame::Kind::BytesRoot;
    root.source = static_cast<std::uint32_t>(sources_.size() - 1);
    root.states_begin = states_begin;
    root.states_end = states_begin + 1;
    root.root.owns_source = true;
    root.root.selects = selects;
    root.root.selected_state = state;
}

}  // namespace quorbix::engine
