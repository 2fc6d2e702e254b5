// A machine (or a visitor that passes tags on to one) whose tags a
// structure check sees first, at their offsets in the document: `origin` is
// where the walked bytes begin in it. With
// `stop_at_problem` the walk ends at the check's first problem, so that the
// machine sees only what comes before it.
#pragma once

#include <cstdint>

#include "engine/machine/machine.hpp"
#include "xml/structure_check.hpp"

namespace quorbix::engine {

template <class Visitor = Machine>
struct Checked {
    Visitor& machine;
    xml::StructureCheck& check;
    std::uint64_t origin = 0;
    bool stop_at_problem = false;

    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        if (check.ok() && !check.tag(event, origin + lt, origin + end) && stop_at_problem)
            return false;
        return machine.tag(event, lt, end);
    }
    bool markup(const xml::ReadResult& read, std::size_t lt, std::size_t end) {
        if (check.ok() && !check.markup(read, origin + lt, origin + end) && stop_at_problem)
            return false;
        return machine.markup(read, lt, end);
    }
};

}  // namespace quorbix::engine
