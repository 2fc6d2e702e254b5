// compile(path): a reusable Path.
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/path_object.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"path", "namespaces"};
constexpr Signature signature{"compile()", parameters, 2, 1};

Expected<PyRef> compile(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[2];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    auto text = str_argument(bound[0], "path");
    if (!text.ok()) return std::move(text.error());
    auto namespaces = namespaces_argument(bound[1]);
    if (!namespaces.ok()) return std::move(namespaces.error());
    auto& mapping = namespaces.value();
    // No shortcut for the empty text: it fails in the compiler like any
    // malformed path.
    auto compiled = compile_text(text.value(), mapping ? &*mapping : nullptr);
    if (!compiled.ok()) return std::move(compiled.error());
    return make_path(text.value(), std::move(compiled.value()), std::move(mapping));
}

}  // namespace

PyMethodDef compile_function = {"compile", method<call_entry<compile>>(),
                                METH_FASTCALL | METH_KEYWORDS,
                                "compile(path, namespaces=None)\n--\n\n"};

}  // namespace quorbix::lib
