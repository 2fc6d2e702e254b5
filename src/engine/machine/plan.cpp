#include "engine/machine/plan.hpp"

namespace quorbix::engine {

using path::PathStep;
using path::Selector;
using path::StepKind;

namespace {

NextAsk next_ask_of(const PathStep* next) {
    if (next == nullptr) return NextAsk::Capture;
    if (next->kind == StepKind::Attribute) return NextAsk::Attribute;
    if (next->kind == StepKind::Text) return NextAsk::Text;
    return NextAsk::Descend;
}

// A filter streams when it reads one plain child's text and what follows is
// at most one simple step: an attribute, or a plain child by name or index.
// A last component whose path records texts is decided on the bytes.
FilterStrategy filter_strategy_of(const PathStep& step, const PathStep* next, bool next_is_last,
                                  bool records_texts) {
    if (!step.filter) return FilterStrategy::None;
    path::FilterShape shape = step.filter->shape;
    if (shape == path::FilterShape::Attribute) return FilterStrategy::StartTag;
    // Candidates found by a search may nest, and the matches gathered in an
    // outer one must not follow those of an inner one: those filters are
    // decided on the bytes.
    if (shape != path::FilterShape::OneChild || step.recursive) return FilterStrategy::OnBytes;
    bool streams = false;
    if (next == nullptr)
        streams = !records_texts;
    else if (!next_is_last)
        streams = false;
    else if (next->kind == StepKind::Attribute)
        streams = true;
    else
        streams = next->is_element() && !next->recursive &&
                  (next->selector == Selector::None || next->selector == Selector::Index);
    return streams ? FilterStrategy::Streamed : FilterStrategy::OnBytes;
}

}  // namespace

void plan_path(const std::vector<PathStep>& steps, bool records_texts,
               std::pmr::vector<ComponentPlan>& plans) {
    for (std::size_t c = 0; c < steps.size(); ++c) {
        ComponentPlan& plan = plans.emplace_back();
        plan.step = &steps[c];
        plan.next = c + 1 < steps.size() ? &steps[c + 1] : nullptr;
        plan.next_ask = next_ask_of(plan.next);
        plan.filter = filter_strategy_of(steps[c], plan.next, c + 2 == steps.size(), records_texts);
        plan.probes = steps[c].filter && steps[c].filter->shape == path::FilterShape::OneChild;
        plan.must_be_unique = steps[c].selector == Selector::None && plan.next != nullptr;
    }
    plans.emplace_back();  // past the last component
}

}  // namespace quorbix::engine
