// validate(data): whether the document is well formed, as a bool.
#include "engine/validate.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data"};
constexpr Signature signature{"validate()", parameters, 1};

Expected<PyRef> validate(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data))
        return std::move(*error);
    // The view, if the document is a buffer, is held for the validation only.
    DocumentHold hold;
    Expected<DocumentText> document = read_any_text(data, hold, Reading::Markup);
    if (!document.ok()) return std::move(document.error());
    std::string_view bytes = document.value().bytes;
    bool valid =
        scan_unlocked(hold, bytes.size(), [&] { return engine::validate_document(bytes); });
    hold.view.release();
    return PyRef(PyBool_FromLong(valid));
}

PyObject* validate_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(validate(args, nargs, kwnames));
}

}  // namespace

PyMethodDef validate_function = {"validate", method<validate_entry>(),
                                 METH_FASTCALL | METH_KEYWORDS, "validate(data)\n--\n\n"};

}  // namespace quorbix::lib
