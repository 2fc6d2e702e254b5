// get, get_bytes, get_buffer and parse.
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* data_and_path[] = {"data", "path"};

// bind; check the document's kind (str and bytes entries only); convert the
// path; answer the empty path at once; compile; scan.
Expected<PyRef> single_path(const Signature& signature, DocumentKind kind, PyObject* const* args,
                            Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[2];
    if (auto error = bind_document_call(signature, kind, args, nargs, kwnames, bound))
        return std::move(*error);
    auto text = str_argument(bound[1], "path");
    if (!text.ok()) return std::move(text.error());
    if (text.value().empty()) return empty_result();  // nothing compiled, the document unread
    auto compiled = compile_text(text.value());
    if (!compiled.ok()) return std::move(compiled.error());
    return query_document(bound[0], kind, *compiled.value());
}

constexpr Signature get_signature{"get()", data_and_path, 2};
constexpr Signature get_bytes_signature{"get_bytes()", data_and_path, 2};
constexpr Signature get_buffer_signature{"get_buffer()", data_and_path, 2};

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

PyMethodDef get_function = {"get",
                            method<road_entry<single_path, get_signature, DocumentKind::Str>>(),
                            METH_FASTCALL | METH_KEYWORDS, "get(data, path)\n--\n\n"};
PyMethodDef get_bytes_function = {
    "get_bytes", method<road_entry<single_path, get_bytes_signature, DocumentKind::Bytes>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_bytes(data, path)\n--\n\n"};
PyMethodDef get_buffer_function = {
    "get_buffer", method<road_entry<single_path, get_buffer_signature, DocumentKind::Buffer>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_buffer(data, path)\n--\n\n"};
PyMethodDef parse_function = {"parse", method<parse>(), METH_FASTCALL | METH_KEYWORDS,
                              "parse(data)\n--\n\n"};

}  // namespace quorbix::lib
