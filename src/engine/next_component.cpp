// What the component after a matched one asks of the match: to capture it,
// an attribute of its start tag, its text, or to go on among its children.
#include "engine/element_text.hpp"
#include "engine/scan.hpp"

namespace quorbix::engine {

using path::StepKind;
using xml::XmlEvent;

// A matched element with a start tag: the rest of the path runs inside it, or
// it is the answer itself. `stop` is where a single selection below ends.
void Scan::select(std::uint32_t state, const XmlEvent& event, bool single, StopScope stop) {
    const State& s = states_[state];
    std::uint64_t before = out_size(s);
    switch (s.plan->next_ask) {
        case NextAsk::Capture:
            return actions_.push_back({ActionKind::Capture, single, state, no_probe, before});
        case NextAsk::Attribute:  // answered from the start tag
            if (attribute_value(event, s.plan->next->name, encoding_, scratch_))
                emit(s.path, EngineMatch::scalar(scratch_));
            if (single && out_size(states_[state]) > before) selection_done(state);
            // The path went on into the element, so it ends where a level
            // inside it would: at the first end tag at its depth.
            read_by_depth_ = true;
            return;
        case NextAsk::Text:
            return actions_.push_back({ActionKind::Text, single, state, no_probe, before});
        case NextAsk::Descend: {
            std::uint32_t path = s.path;
            push_state(path, s.plan + 1, stop);  // `s` is not used past this point
            if (single) actions_.push_back({ActionKind::Grown, true, state, no_probe, before});
            return;
        }
    }
}

// A self-closing match and what `asked`, the plan of the component after the
// matched one, asks of it; true when something was appended.
bool Scan::self_closing(const State& s, const ComponentPlan& asked, const XmlEvent& event) {
    if (asked.step == nullptr) {
        capture(
            s.path, [&] { emit(s.path, EngineMatch::owned(self_closing_bytes(event))); },
            [] { return std::string(); });
        return true;
    }
    switch (asked.step->kind) {
        case StepKind::Attribute:
            if (!attribute_value(event, asked.step->name, encoding_, scratch_)) return false;
            emit(s.path, EngineMatch::scalar(scratch_));
            return true;
        case StepKind::Text:
            emit(s.path, EngineMatch::scalar({}));
            return true;
        default:
            return false;  // an element step: a self-closing element has no children
    }
}

// The root of captured bytes has just started: a state whose component is a
// terminal is answered on it (true); an element step reads its children.
bool Scan::terminal_on_root(const State& s, const XmlEvent& event, xml::XmlReader& reader) {
    switch (s.step->kind) {
        case StepKind::Attribute:
            if (attribute_value(event, s.step->name, encoding_, scratch_))
                emit(s.path, EngineMatch::scalar(scratch_));
            return true;
        case StepKind::Text:
            emit(s.path, EngineMatch::scalar(item_text(reader.input(), encoding_)));
            return true;
        default:
            return false;
    }
}

}  // namespace quorbix::engine
