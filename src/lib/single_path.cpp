#include "lib/single_path.hpp"

#include "engine/evaluator.hpp"
#include "lib/arguments.hpp"
#include "lib/document.hpp"
#include "lib/py_item.hpp"
#include "lib/result_object.hpp"

namespace quorbix::lib {
namespace {

Expected<PyRef> result_of(engine::EvalOutcome outcome, PyObject* document) {
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome)) {
        return PendingError(PyExc_ValueError,
                            "path is ambiguous: " + ambiguous->name +
                                " matches multiple elements but the path continues; specify .N "
                                "(single) or .# (each)");
    }
    return make_result(items_from_matches(std::move(std::get<engine::Matches>(outcome)), document));
}

}  // namespace

Expected<PyRef> query_result(std::string_view bytes, const path::CompiledPath& path,
                             PyObject* document) {
    return result_of(engine::evaluate_path(bytes, path, document != nullptr), document);
}

Expected<PyRef> empty_result() {
    return make_result({});
}

std::optional<PendingError> check_document_kind(PyObject* data, DocumentKind kind) {
    if (kind == DocumentKind::Str && !is_str_document(data))
        return argument_type_error("data", data, "str");
    if (kind == DocumentKind::Bytes && !is_bytes_document(data))
        return argument_type_error("data", data, "bytes");
    return std::nullopt;
}

Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path) {
    switch (kind) {
        case DocumentKind::Str: {
            auto bytes = read_str_document(data);
            if (!bytes.ok()) return std::move(bytes.error());
            return query_result(bytes.value(), path, data);
        }
        case DocumentKind::Bytes:
            return query_result(read_bytes_document(data), path, data);
        case DocumentKind::Buffer:
            break;
    }
    BufferView view;
    auto bytes = read_buffer_document(data, view);
    if (!bytes.ok()) return std::move(bytes.error());
    engine::EvalOutcome outcome = engine::evaluate_path(bytes.value(), path, false);
    view.release();  // the matches own their bytes; the buffer may change from here on
    return result_of(std::move(outcome), nullptr);
}

}  // namespace quorbix::lib
