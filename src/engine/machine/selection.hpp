// The six selectors, told apart in one place for start tags and self-closing
// tags alike: what a component's selector makes of an element that passed
// its name test.
#pragma once

#include "engine/machine/states.hpp"

namespace quorbix::engine {

struct Selection {
    enum class Kind : std::uint8_t {
        Pass,       // not selected: an index passed over, or an each-count
        Select,     // the element matched: the path goes on from it
        Filter,     // the element is a candidate of the component's filter
        Ambiguous,  // a second match of a component that must be unique
    };
    Kind kind = Kind::Pass;
    bool single = false;  // a single selection: done once it produced output
    // Where a single selection below this match ends: under a fan-out, at
    // its level.
    StopScope stop = StopScope::Level;
};

// Counts the element where the selector counts it.
inline Selection select_by_selector(State& s) {
    using K = Selection::Kind;
    const path::PathStep& step = *s.step;
    switch (step.selector) {
        case path::Selector::None:
            if (s.plan->must_be_unique) {
                if (s.seen_match) return {K::Ambiguous};
                s.seen_match = true;
            }
            ++s.counter;
            return {K::Select, false, s.stop};
        case path::Selector::Index:
            if (s.counter++ == step.index) return {K::Select, true, s.stop};
            return {K::Pass};
        case path::Selector::EachCount:
            ++s.counter;
            return {K::Pass};
        case path::Selector::EachAll:
            ++s.counter;
            return {K::Select, false, StopScope::Level};
        case path::Selector::FilterFirst:
            ++s.counter;
            return {K::Filter, true, s.stop};
        case path::Selector::FilterAll:
            ++s.counter;
            return {K::Filter, false, StopScope::Level};
    }
    return {K::Pass};
}

}  // namespace quorbix::engine
