// How a scan follows each component of its paths, decided once when the scan
// starts instead of at every match: how the component's filter is decided,
// what the component after it asks of a match, and whether a second match at
// one level is the ambiguity error.
#pragma once

#include <cstdint>
#include <memory_resource>

#include <vector>

#include "path/compiled_path.hpp"

namespace quorbix::engine {

// How a component's filter is decided on a candidate element.
enum class FilterStrategy : std::uint8_t {
    None,      // the component has no filter
    StartTag,  // one attribute: decided on the start tag, in the live stream
    // One plain child's text, with at most one simple step after it: decided
    // while the candidate's children stream past, in the scan's own pass.
    Streamed,
    // Decided on the candidate's bytes once it has been read through: its
    // own text, a path of the filter's own, or one plain child with more of
    // the path after it.
    OnBytes,
};

// What the component after a matched one asks of the match.
enum class NextAsk : std::uint8_t {
    Capture,    // nothing follows: the element is the path's match
    Attribute,  // `@name`: answered from the start tag
    Text,       // `#text`: the element's text
    Descend,    // an element step: the path goes on among its children
};

struct ComponentPlan {
    // The component; null for the place past a path's last one, where a
    // filter decided on captured bytes leaves the element itself to capture.
    const path::PathStep* step = nullptr;
    const path::PathStep* next = nullptr;  // the component after it, or null
    NextAsk next_ask = NextAsk::Capture;
    FilterStrategy filter = FilterStrategy::None;
    // The filter's value is the text of one plain child: when the
    // candidate's children are read as a level anyway, a probe reads it there.
    bool probes = false;
    // No selector and more of the path after it: a second match at one level
    // is the ambiguity error.
    bool must_be_unique = false;
};

// Appends the plans of `steps`, one per component and one past the last, to
// `plans`. `records_texts`: the path records its final matches as texts.
void plan_path(const std::vector<path::PathStep>& steps, bool records_texts,
               std::pmr::vector<ComponentPlan>& plans);

}  // namespace quorbix::engine
