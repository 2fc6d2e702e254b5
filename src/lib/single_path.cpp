#include "lib/single_path.hpp"

#include "engine/evaluator.hpp"
#include "lib/arguments.hpp"
#include "lib/document.hpp"
#include "lib/py_item.hpp"
#include "lib/result_object.hpp"

namespace quorbix::lib {
namespace {

Expected<PyRef> result_of(engine::EvalOutcome outcome, PyObject* document, xml::Encoding encoding) {
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return make_result(
        items_from_matches(std::move(std::get<engine::Matches>(outcome)), document, encoding));
}

}  // namespace

Expected<PyRef> query_result(const DocumentText& text, const path::CompiledPath& path,
                             PyObject* document) {
    // A transcoded copy dies with this call: its matches are copied out.
    if (text.transcoded) document = nullptr;
    return result_of(engine::evaluate_path(text.bytes, text.encoding, path, document != nullptr),
                     document, text.encoding);
}

PendingError ambiguous_path_error(const engine::AmbiguousPath& ambiguous) {
    return PendingError(PyExc_ValueError,
                        "path is ambiguous: " + ambiguous.name +
                            " matches multiple elements but the path continues; specify .N "
                            "(single) or .# (each)");
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
    std::string utf8_copy;
    switch (kind) {
        case DocumentKind::Str: {
            auto bytes = read_str_document(data);
            if (!bytes.ok()) return std::move(bytes.error());
            return query_result(str_text(bytes.value()), path, data);
        }
        case DocumentKind::Bytes:
            return query_result(bytes_text(read_bytes_document(data), utf8_copy), path, data);
        case DocumentKind::Buffer:
            break;
    }
    BufferView view;
    auto bytes = read_buffer_document(data, view);
    if (!bytes.ok()) return std::move(bytes.error());
    DocumentText text = bytes_text(bytes.value(), utf8_copy);
    engine::EvalOutcome outcome = engine::evaluate_path(text.bytes, text.encoding, path, false);
    view.release();  // the matches own their bytes; the buffer may change from here on
    return result_of(std::move(outcome), nullptr, text.encoding);
}

}  // namespace quorbix::lib
