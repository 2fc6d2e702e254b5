// What the component after a matched one asks of the match: to capture it,
// an attribute of its start tag, its text, or to go on among its children.
#include "engine/element_text.hpp"
#include "engine/machine/machine.hpp"

namespace quorbix::engine {

using path::StepKind;
using xml::XmlEvent;

// A matched element with a start tag: the rest of the path runs inside it, or
// it is the answer itself. `stop` is where a single selection below ends.
void Machine::select(std::uint32_t state, const XmlEvent& event, bool single, StopScope stop) {
    const State& s = states_[state];
    std::uint64_t before = answers_.emitted(s.path);
    switch (s.plan->next_ask) {
        case NextAsk::Capture:
            return actions_.push_back({ActionKind::Capture, single, state, no_probe, before});
        case NextAsk::Attribute:  // answered from the start tag
            if (attribute_value(event, *s.plan->next, answers_.encoding(), &scope_, scratch_,
                                answers_.entities()))
                answers_.emit(s.path, EngineMatch::scalar(scratch_));
            if (single && answers_.emitted(s.path) > before) selection_done(state);
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

// A self-closing match at [lt, end) and what `asked`, the plan of the
// component after the matched one, asks of it; true when something was
// recorded.
bool Machine::self_closing(const State& s, const ComponentPlan& asked, const XmlEvent& event,
                           std::size_t lt, std::size_t end) {
    if (asked.step == nullptr) {
        deliver(s, answers_.match_of(
                       s.path, [&] { return element(lt, end); }, [] { return std::string(); }));
        return true;
    }
    switch (asked.step->kind) {
        case StepKind::Attribute:
            if (!attribute_value(event, *asked.step, answers_.encoding(), &scope_, scratch_,
                                 answers_.entities()))
                return false;
            answers_.emit(s.path, EngineMatch::scalar(scratch_));
            return true;
        case StepKind::Text:
            answers_.emit(s.path, EngineMatch::scalar({}));
            return true;
        default:  // an element step: a self-closing element has no children
            if (asked.step->selector != path::Selector::EachCount) return false;
            answers_.emit(s.path, EngineMatch::scalar("0"));  // as many as `<a></a>` has
            return true;
    }
}

// The root of a relative walk has just started: a state whose component is
// a terminal is answered on it (true); an element step reads its children.
bool Machine::terminal_on_root(const State& s, const XmlEvent& event) {
    switch (s.step->kind) {
        case StepKind::Attribute:
            if (attribute_value(event, *s.step, answers_.encoding(), &scope_, scratch_,
                                answers_.entities()))
                answers_.emit(s.path, EngineMatch::scalar(scratch_));
            return true;
        case StepKind::Text:
            answers_.emit(s.path, EngineMatch::scalar(
                                      item_text(bytes_, answers_.encoding(), answers_.entities())));
            return true;
        default:
            return false;
    }
}

}  // namespace quorbix::engine
