// The driver: the one loop that advances through a document's bytes. A tag
// walk (xml/tag_walker.hpp) reports each tag to a machine, which decides
// what it means; the driver then tells the machine where the walk ended, so
// that what is still open ends there.
#pragma once

#include <string_view>

#include "engine/machine/machine.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/structure_check.hpp"

namespace quorbix::engine {

// Walks `bytes`, in `encoding`, with `machine`. A `check`, when given, sees
// every tag of the bytes: those the machine saw, and after a machine that
// stopped early, the rest.
void drive(Machine& machine, std::string_view bytes, xml::Encoding encoding,
           xml::StructureCheck* check = nullptr);

}  // namespace quorbix::engine
