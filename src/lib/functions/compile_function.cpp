// compile(path): a reusable Path.
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/path_object.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"path"};
constexpr Signature signature{"compile()", parameters, 1};

Expected<PyRef> compile(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* path;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &path))
        return std::move(*error);
    auto text = str_argument(path, "path");
    if (!text.ok()) return std::move(text.error());
    // No shortcut for the empty text: it fails in the compiler like any
    // malformed path.
    auto compiled = compile_text(text.value());
    if (!compiled.ok()) return std::move(compiled.error());
    return make_path(text.value(), std::move(compiled.value()));
}

}  // namespace

PyMethodDef compile_function = {"compile", method<call_entry<compile>>(),
                                METH_FASTCALL | METH_KEYWORDS, "compile(path)\n--\n\n"};

}  // namespace quorbix::lib
