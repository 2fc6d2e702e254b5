#include "lib/functions/path_object.hpp"

#include <optional>
#include <string>

#include "lib/calls/arguments.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/heap_object.hpp"
#include "text/quote_literal.hpp"

namespace quorbix::lib {
namespace {

struct PathFields {
    std::string text;  // the path as given to compile
    path::CompiledPathRef compiled;
    std::optional<path::NamespaceMap> namespaces;  // as given to compile
};

struct PathObject {
    PyObject ob_base;
    PathFields fields;
};

PathFields& as_path(PyObject* object) {
    return reinterpret_cast<PathObject*>(object)->fields;
}

PyObject* path_repr(PyObject* self) {
    std::string text = "Path(" + text::quote_literal(as_path(self).text) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

constexpr const char* data_only[] = {"data"};

// The stored compiled path runs as it is: no parsing, no cache lookup.
Expected<PyRef> query(PyObject* self, const Signature& signature, DocumentKind kind,
                      PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data))
        return std::move(*error);
    if (auto error = check_document_kind(data, kind)) return std::move(*error);
    return query_document(data, kind, *as_path(self).compiled);
}

PyObject* path_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"Path.get()", data_only, 1};
    return finish(query(self, signature, DocumentKind::Str, args, nargs, kwnames));
}

PyObject* path_get_bytes(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    static constexpr Signature signature{"Path.get_bytes()", data_only, 1};
    return finish(query(self, signature, DocumentKind::Bytes, args, nargs, kwnames));
}

PyObject* path_get_buffer(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    static constexpr Signature signature{"Path.get_buffer()", data_only, 1};
    return finish(query(self, signature, DocumentKind::Buffer, args, nargs, kwnames));
}

// The mapping a Path was compiled under, as a dict; None without one.
Expected<PyRef> namespaces_object(const std::optional<path::NamespaceMap>& namespaces) {
    if (!namespaces) return PyRef::borrow(Py_None);
    PyRef dict(PyDict_New());
    if (!dict) return PendingError::fetch();
    for (const auto& [prefix, uri] : namespaces->bindings()) {
        PyRef value(PyUnicode_FromStringAndSize(uri.data(), static_cast<Py_ssize_t>(uri.size())));
        if (!value) return PendingError::fetch();
        PyRef key(
            PyUnicode_FromStringAndSize(prefix.data(), static_cast<Py_ssize_t>(prefix.size())));
        if (!key || PyDict_SetItem(dict.get(), key.get(), value.get()) != 0)
            return PendingError::fetch();
    }
    return dict;
}

// A Path pickles as its text: unpickling compiles it again (through the
// path cache), so a Path travels to worker processes as a short string.
Expected<PyRef> path_reduce(PyObject* self, PyObject*) {
    PyRef module(PyImport_ImportModule("quorbix._quorbix"));
    if (!module) return PendingError::fetch();
    PyRef compile(PyObject_GetAttrString(module.get(), "compile"));
    if (!compile) return PendingError::fetch();
    const PathFields& fields = as_path(self);
    const std::string& text = fields.text;
    PyRef text_object(
        PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!text_object) return PendingError::fetch();
    auto mapping = namespaces_object(fields.namespaces);
    if (!mapping.ok()) return std::move(mapping.error());
    PyRef arguments(PyTuple_Pack(2, text_object.get(), mapping.value().get()));
    if (!arguments) return PendingError::fetch();
    PyRef reduced(PyTuple_Pack(2, compile.get(), arguments.get()));
    if (!reduced) return PendingError::fetch();
    return reduced;
}

PyObject* path_reduce_entry(PyObject* self, PyObject* unused) {
    return finish(path_reduce(self, unused));
}

// What the path answers, known from its text: "list" (a Result that is a
// list whatever its count), "number" (one computed number), or "single"
// (what the document holds: one match, or several).
PyObject* path_shape(PyObject* self, void*) {
    switch (as_path(self).compiled->answer_shape) {
        case path::AnswerShape::List:
            return PyUnicode_FromString("list");
        case path::AnswerShape::Number:
            return PyUnicode_FromString("number");
        case path::AnswerShape::Single:
            break;
    }
    return PyUnicode_FromString("single");
}

PyGetSetDef path_getset[] = {
    {"shape", guarded<path_shape>, nullptr,
     "What the path answers: \"list\" when it goes on from each of several matches\n"
     "(`#` or `#(...)#`), whose Result is a list however many matched; \"number\"\n"
     "for a count or a numeric modifier; \"single\" otherwise (one match, or a\n"
     "list when several are found).",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef path_methods[] = {
    {"__reduce__", method<path_reduce_entry>(), METH_NOARGS, nullptr},
    {"get", method<path_get>(), METH_FASTCALL | METH_KEYWORDS, "get($self, data)\n--\n\n"},
    {"get_bytes", method<path_get_bytes>(), METH_FASTCALL | METH_KEYWORDS,
     "get_bytes($self, data)\n--\n\n"},
    {"get_buffer", method<path_get_buffer>(), METH_FASTCALL | METH_KEYWORDS,
     "get_buffer($self, data)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot path_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<PathObject>)},
    {Py_tp_repr, slot<path_repr>()},
    {Py_tp_methods, path_methods},
    {Py_tp_getset, path_getset},
    {0, nullptr},
};

// Final (no base-type flag), not instantiable from Python, and outside the
// garbage collector: it holds no Python objects.
PyType_Spec path_spec = {
    "quorbix._quorbix.Path", sizeof(PathObject), 0, class_flags(false), path_slots,
};

}  // namespace

PyObject* path_type() {
    // Made under the interpreter lock; a plain pointer rather than a guarded
    // static, so that a thread that finds it in the making never waits on a
    // C++ guard while holding the lock.
    static PyObject* type = nullptr;
    if (type == nullptr) type = PyType_FromSpec(&path_spec);
    return type;
}

Expected<PyRef> make_path(std::string_view text, path::CompiledPathRef compiled,
                          std::optional<path::NamespaceMap> namespaces) {
    return new_instance<PathObject>(
        path_type(), PathFields{std::string(text), std::move(compiled), std::move(namespaces)});
}

bool is_path(PyObject* object) {
    PyObject* type = path_type();
    return type != nullptr && Py_TYPE(object) == reinterpret_cast<PyTypeObject*>(type);
}

const path::CompiledPathRef& compiled_path_of(PyObject* path) {
    return as_path(path).compiled;
}

}  // namespace quorbix::lib
