#include "engine/driver/drive.hpp"

#include "engine/driver/walk_document.hpp"

namespace quorbix::engine {

void drive(Machine& machine, std::string_view bytes, xml::Encoding encoding,
           xml::StructureCheck* check) {
    walk_document(machine, machine, bytes, encoding, check);
}

}  // namespace quorbix::engine
