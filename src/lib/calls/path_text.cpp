#include "lib/calls/path_text.hpp"

#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "path/path_cache.hpp"

namespace quorbix::lib {

Expected<std::string_view> str_argument(PyObject* object, const char* name) {
    if (!PyUnicode_Check(object)) return argument_type_error(name, object, "str");
    return read_str_document(object);
}

Expected<path::CompiledPathRef> compile_text(std::string_view text,
                                             const path::NamespaceMap* namespaces) {
    auto compiled = path::compile_cached(text, namespaces);
    if (auto* message = std::get_if<std::string>(&compiled))
        return PendingError(PyExc_ValueError, std::move(*message));
    return std::move(std::get<path::CompiledPathRef>(compiled));
}

namespace {

// A str's UTF-8 form, or nothing (the interpreter's error set).
std::optional<std::string> utf8_of(PyObject* text) {
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &length);
    if (utf8 == nullptr) return std::nullopt;
    return std::string(utf8, static_cast<std::size_t>(length));
}

}  // namespace

Expected<std::optional<path::NamespaceMap>> namespaces_argument(PyObject* object) {
    if (object == nullptr || object == Py_None) return std::optional<path::NamespaceMap>();
    if (!PyDict_Check(object)) return argument_type_error("namespaces", object, "dict");
    std::vector<std::pair<std::string, std::string>> bindings;
    PyObject *prefix, *uri;
    Py_ssize_t at = 0;
    while (PyDict_Next(object, &at, &prefix, &uri)) {
        if (!PyUnicode_Check(prefix) || !PyUnicode_Check(uri))
            return PendingError(PyExc_TypeError,
                                "namespaces must map str prefixes to str namespace URIs");
        auto p = utf8_of(prefix);
        auto u = utf8_of(uri);
        if (!p || !u) return PendingError::fetch();
        bindings.emplace_back(std::move(*p), std::move(*u));
    }
    return std::optional<path::NamespaceMap>(path::NamespaceMap(std::move(bindings)));
}

PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous) {
    return PendingError(PyExc_ValueError,
                        "path is ambiguous: " + ambiguous.name +
                            " matches multiple elements but the path continues; specify .N "
                            "(single) or .# (each)");
}

}  // namespace quorbix::lib
