// The data the machine is made of: the states that follow paths level by
// level, the actions that wait for a matched element's end, the probes, and
// the frames of its explicit stack. The words are those of machine.hpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/engine_match.hpp"
#include "engine/machine/plan.hpp"
#include "path/compiled_path.hpp"
#include "xml/namespace_scope.hpp"

namespace quorbix::engine {

// Where a done single selection stops: nowhere (below a fan-out), the walk
// over a matched element's bytes it runs in, or its path as a whole.
enum class StopScope : std::uint8_t { Level, Bytes, Path };

inline constexpr std::uint32_t no_probe = ~std::uint32_t{0};

// One path at one level: the component it tests against the level's
// children.
struct State {
    const ComponentPlan* plan = nullptr;  // the component's; `plan + 1` is the next one's
    // The component's step, kept at hand: the name test reads it for every
    // child. Null past the last component.
    const path::PathStep* step = nullptr;
    std::uint32_t path = 0;
    // A probe reads the value of a filter on its context element, the text
    // of the first child that passes its step: its slot in the scan's probes.
    std::uint32_t probe = no_probe;
    std::uint64_t counter = 0;  // children that passed the name test
    bool seen_match = false;    // for the ambiguity rule
    bool done = false;          // a single selection produced output here
    // Its matches wait for a filter on the context element: the children of
    // a candidate whose filter streams.
    bool gathers = false;
    StopScope stop = StopScope::Path;

    bool is_probe() const { return probe != no_probe; }
};

// The rest of a path, from `plan`, to run over the element at [start, end) of
// the answers' document; null `plan`: the path ends here.
struct RestWalk {
    std::uint32_t path;
    const ComponentPlan* plan;
    std::uint64_t start, end;
    bool finishes_path;  // the path ends once this walk (and those it defers) ran
    // The declarations around the element, when its names are tested by
    // namespace.
    std::shared_ptr<const xml::NamespaceScope> scope;
};

// A match that waits for a streamed filter to decide.
struct Gathered {
    std::uint32_t path;
    EngineMatch match;
};

// A filter's value gathered by a probe while the children stream past.
struct ProbeValue {
    bool found = false;
    std::string text;
};

// What a state asks of a matched element once it has been read through: the
// rules that need its end or its bytes.
enum class ActionKind : std::uint8_t {
    Capture,         // the element is the path's match
    Text,            // the next component is #text: the element's text
    Grown,           // a single selection whose output comes from inside
    FilterOnBytes,   // a filter decided on the element's bytes
    FilterStreamed,  // a filter decided while the children stream past
    FilterByProbe,   // a filter decided on the value its probe found
    ProbeChild,      // the child a probe found: its text is the filter's value
};

// Trivial, so that a list of them costs nothing to set up per element.
struct Action {
    ActionKind kind;
    bool single;          // a single selection: done once it produced output
    std::uint32_t state;  // index in the scan's states
    // FilterByProbe and ProbeChild: the slot of the probe; otherwise no_probe.
    std::uint32_t probe;
    // Grown: the path's match count before the element; FilterStreamed: where
    // the candidate's gathered matches begin.
    std::uint64_t size_before;
};

// An open element something waits for: the states that test its children
// (a level), the actions waiting for its end, or both. The document itself is
// the level at depth 0 of a document's walk.
struct Frame {
    std::size_t depth = 0;  // the element's depth; its children are one deeper
    std::uint32_t states_begin = 0, states_end = 0;
    // The actions on the element, run at its end, and its probes.
    std::uint32_t actions_begin = 0, actions_end = 0;
    std::uint32_t probes_begin = 0;
    std::uint64_t start = 0;          // its '<'
    std::uint64_t content_start = 0;  // just past its start tag
    // The count of changes when the states were last looked at, and whether
    // any of them could still match then.
    std::uint64_t seen_changes = ~std::uint64_t{0};
    bool any_active = false;
    // Its states are all searches that keep nothing per level: rather than a
    // level of their own for every element they pass, they test every
    // element below this one, except inside the elements that matched.
    bool deep = false;
    bool counts = false;  // a state of it counts its matches, reported at its end
};

}  // namespace quorbix::engine
