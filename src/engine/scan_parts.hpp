// The data a scan is made of: the states that follow paths level by level,
// the actions that wait for a matched element's end, the probes, the frames of
// the explicit stack, and the sources readers run over. The words are those of
// scan.hpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/plan.hpp"
#include "path/compiled_path.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::engine {

// Where a done single selection stops: nowhere (below a fan-out), the
// captured bytes it runs in, or its path as a whole.
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
    StopScope stop = StopScope::Path;

    bool is_probe() const { return probe != no_probe; }
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
    std::uint64_t size_before;  // Grown: the path's match count before the element
};

// One entry of the stack: a level over an element's children (or the
// document's), or the root of captured element bytes, where the rest of a
// path runs after a filter held.
struct Frame {
    enum class Kind : std::uint8_t { Level, BytesRoot };
    struct LevelPart {
        bool has_context = false;  // false at document level
        std::uint64_t context_start = 0;
        // The actions on the context element, run at its end, and its probes.
        std::uint32_t actions_begin = 0, actions_end = 0;
        std::uint32_t probes_begin = 0;
        // The count of changes when the states were last looked at.
        std::uint64_t seen_changes = ~std::uint64_t{0};
    };
    struct RootPart {
        bool started = false;  // the element was entered
        bool owns_source = false;
        // The state whose first-match filter held: done when the root ends.
        bool selects = false;
        std::uint32_t selected_state = 0;
    };

    Kind kind = Kind::Level;
    std::uint32_t source = 0;  // the reader it reads with
    std::uint32_t states_begin = 0, states_end = 0;
    LevelPart level;  // a Level's
    RootPart root;    // a BytesRoot's
};

// The bytes a reader runs over: the document, or an element captured for the
// rest of a path after a filter.
struct Source {
    std::unique_ptr<std::string> owned;  // a rebuilt self-closing element
    xml::XmlReader reader;
    bool range_mode = false;
};

}  // namespace quorbix::engine
