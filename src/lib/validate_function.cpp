// validate(data): whether the document is well formed, as a bool.
#include "engine/validate.hpp"
#include "lib/arguments.hpp"
#include "lib/document.hpp"
#include "lib/module_functions.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data"};
constexpr Signature signature{"validate()", parameters, 1};

PyObject* validate(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data)) {
        error->raise();
        return nullptr;
    }
    BufferView view;
    Expected<std::string_view> document = read_any_document(data, view);
    if (!document.ok()) {
        view.release();
        document.error().raise();
        return nullptr;
    }
    bool valid = engine::validate_document(document.value());
    view.release();
    return PyBool_FromLong(valid);
}

}  // namespace

PyMethodDef validate_function = {
    "validate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(validate)),
    METH_FASTCALL | METH_KEYWORDS, "validate(data)\n--\n\n"};

}  // namespace quorbix::lib
