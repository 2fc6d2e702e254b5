// get, get_bytes, get_buffer and parse.
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* data_and_path[] = {"data", "path", "namespaces"};

constexpr Signature get_signature{"get()", data_and_path, 3, 1};
constexpr Signature get_bytes_signature{"get_bytes()", data_and_path, 3, 1};
constexpr Signature get_buffer_signature{"get_buffer()", data_and_path, 3, 1};

// parse(data): checks that the document can be read, then holds it whole;
// nothing is scanned until the Result is used.
Expected<PyRef> parse_document(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr const char* parameters[] = {"data"};
    static constexpr Signature signature{"parse()", parameters, 1};
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data))
        return std::move(*error);
    {
        BufferView view;  // released at once: the Result never holds a view
        auto bytes = read_any_document(data, view);
        if (!bytes.ok()) return std::move(bytes.error());
    }
    PyItems items;
    items.push_back(PyItem::whole_document(data));
    return make_result(std::move(items));
}

PyObject* parse(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(parse_document(args, nargs, kwnames));
}

}  // namespace

PyMethodDef get_function = {
    "get", method<query_entry<single_path, get_signature, DocumentKind::Str>>(),
    METH_FASTCALL | METH_KEYWORDS, "get(data, path, namespaces=None)\n--\n\n"};
PyMethodDef get_bytes_function = {
    "get_bytes", method<query_entry<single_path, get_bytes_signature, DocumentKind::Bytes>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_bytes(data, path, namespaces=None)\n--\n\n"};
PyMethodDef get_buffer_function = {
    "get_buffer", method<query_entry<single_path, get_buffer_signature, DocumentKind::Buffer>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_buffer(data, path, namespaces=None)\n--\n\n"};
PyMethodDef parse_function = {"parse", method<parse>(), METH_FASTCALL | METH_KEYWORDS,
                              "parse(data)\n--\n\n"};

}  // namespace quorbix::lib
