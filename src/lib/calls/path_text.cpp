#include "lib/calls/path_text.hpp"

#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "path/path_cache.hpp"

namespace quorbix::lib {

Expected<std::string_view> str_argument(PyObject* object, const char* name) {
    if (!PyUnicode_Check(object)) return argument_type_error(name, object, "str");
    return read_str_document(object);
}

Expected<path::CompiledPathRef> compile_text(std::string_view text) {
    auto compiled = path::compile_cached(text);
    if (auto* message = std::get_if<std::string>(&compiled))
        return PendingError(PyExc_ValueError, std::move(*message));
    return std::move(std::get<path::CompiledPathRef>(compiled));
}

PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous) {
    return PendingError(PyExc_ValueError,
                        "path is ambiguous: " + ambiguous.name +
                            " matches multiple elements but the path continues; specify .N "
                            "(single) or .# (each)");
}

}  // namespace quorbix::lib
