#include "lib/support/entities_capsule.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* capsule_name = "quorbix.entities";

}  // namespace

PyRef entities_object(const SharedEntities& entities) {
    if (!entities) return PyRef::borrow(Py_None);
    auto* held = new SharedEntities(entities);
    PyRef capsule(PyCapsule_New(held, capsule_name, [](PyObject* capsule) {
        delete static_cast<SharedEntities*>(PyCapsule_GetPointer(capsule, capsule_name));
    }));
    if (!capsule) delete held;
    return capsule;
}

const SharedEntities* entities_held(PyObject* object) {
    if (object == nullptr || !PyCapsule_IsValid(object, capsule_name)) return nullptr;
    return static_cast<const SharedEntities*>(PyCapsule_GetPointer(object, capsule_name));
}

}  // namespace quorbix::lib
