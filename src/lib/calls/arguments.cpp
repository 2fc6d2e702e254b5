#include "lib/calls/arguments.hpp"

#include <string_view>
#include <vector>

#include "lib/support/py_ref.hpp"

namespace quorbix::lib {
namespace {

PendingError type_error(std::string message) {
    return PendingError(PyExc_TypeError, std::move(message));
}

// 'a', 'a' and 'b', 'a', 'b', and 'c'
std::string quoted_name_list(const std::vector<std::string>& names) {
    std::string out;
    std::size_t count = names.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += count == 2 ? " and " : (i + 1 == count ? ", and " : ", ");
        out += "'" + names[i] + "'";
    }
    return out;
}

}  // namespace

std::optional<PendingError> bind_arguments(const Signature& signature, PyObject* const* args,
                                           Py_ssize_t nargs, PyObject* kwnames, PyObject** bound) {
    // The name messages start with; built only when a message is.
    auto fn = [&] { return std::string(signature.display_name); };
    std::size_t n = signature.parameter_count;
    if (static_cast<std::size_t>(nargs) > n) {
        return type_error(fn() + " takes " + std::to_string(n) + " positional arguments but " +
                          std::to_string(nargs) + (nargs == 1 ? " was" : " were") + " given");
    }
    for (std::size_t i = 0; i < n; ++i)
        bound[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;

    Py_ssize_t keyword_count = kwnames != nullptr ? PyTuple_Size(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        PyObject* key = PyTuple_GetItem(kwnames, k);
        Py_ssize_t length = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(key, &length);
        if (utf8 == nullptr) return PendingError::fetch();
        std::string_view name(utf8, static_cast<std::size_t>(length));
        std::size_t slot = 0;
        while (slot < n && name != signature.parameters[slot]) ++slot;
        if (slot == n)
            return type_error(fn() + " got an unexpected keyword argument '" + std::string(name) +
                              "'");
        if (bound[slot] != nullptr)
            return type_error(fn() + " got multiple values for argument '" + std::string(name) +
                              "'");
        bound[slot] = args[nargs + k];
    }

    std::vector<std::string> missing;
    for (std::size_t i = 0; i + signature.optional < n; ++i)
        if (bound[i] == nullptr) missing.push_back(signature.parameters[i]);
    if (!missing.empty()) {
        return type_error(
            fn() + " missing " + std::to_string(missing.size()) + " required positional " +
            (missing.size() == 1 ? "argument" : "arguments") + ": " + quoted_name_list(missing));
    }
    return std::nullopt;
}

std::string instance_check_message(PyObject* object, const char* target) {
    if (object == Py_None) return std::string("'None' is not an instance of '") + target + "'";
    std::string type_name = "?";
    PyRef name(PyType_GetQualName(Py_TYPE(object)));
    if (name) {
        Py_ssize_t length = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &length))
            type_name.assign(utf8, static_cast<std::size_t>(length));
    }
    PyErr_Clear();
    return "'" + type_name + "' object is not an instance of '" + target + "'";
}

PendingError argument_type_error(const char* name, PyObject* object, const char* target) {
    return type_error(std::string("argument '") + name +
                      "': " + instance_check_message(object, target));
}

std::optional<PendingError> check_document_kind(PyObject* data, DocumentKind kind) {
    if (kind == DocumentKind::Str && !is_str_document(data))
        return argument_type_error("data", data, "str");
    if (kind == DocumentKind::Bytes && !is_bytes_document(data))
        return argument_type_error("data", data, "bytes");
    return std::nullopt;
}

std::optional<PendingError> bind_document_call(const Signature& signature, DocumentKind kind,
                                               PyObject* const* args, Py_ssize_t nargs,
                                               PyObject* kwnames, PyObject** bound) {
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound)) return error;
    return check_document_kind(bound[0], kind);
}

}  // namespace quorbix::lib
