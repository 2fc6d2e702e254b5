#include "lib/functions/single_path.hpp"

#include "engine/evaluator.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/result/item.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {
namespace {

Expected<PyRef> result_of(engine::EvalOutcome outcome, PyObject* document, xml::Encoding encoding) {
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return make_result(
        items_from_matches(std::move(std::get<engine::Matches>(outcome)), document, encoding));
}

}  // namespace

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

std::optional<PendingError> bind_document_call(const Signature& signature, DocumentKind kind,
                                               PyObject* const* args, Py_ssize_t nargs,
                                               PyObject* kwnames, PyObject* (&bound)[2]) {
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound)) return error;
    return check_document_kind(bound[0], kind);
}

Expected<ScanInput> scan_input(PyObject* data, DocumentKind kind, bool ranges, DocumentHold& hold) {
    switch (kind) {
        case DocumentKind::Str: {
            auto bytes = read_str_document(data);
            if (!bytes.ok()) return std::move(bytes.error());
            return ScanInput{str_text(bytes.value()), ranges ? data : nullptr};
        }
        case DocumentKind::Bytes: {
            auto text = bytes_text(read_bytes_document(data), hold.utf8_copy);
            if (!text.ok()) return std::move(text.error());
            // A transcoded copy dies with the call: its matches are copied out.
            return ScanInput{text.value(), ranges && !text.value().transcoded ? data : nullptr};
        }
        case DocumentKind::Buffer:
            break;
    }
    auto bytes = read_buffer_document(data, hold.view);
    if (!bytes.ok()) return std::move(bytes.error());
    auto text = bytes_text(bytes.value(), hold.utf8_copy);
    if (!text.ok()) return std::move(text.error());
    return ScanInput{text.value(), nullptr};
}

Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path) {
    DocumentHold hold;
    auto input = scan_input(data, kind, true, hold);
    if (!input.ok()) return std::move(input.error());
    const auto& [text, document] = input.value();
    engine::EvalOutcome outcome =
        engine::evaluate_path(text.bytes, text.encoding, path, document != nullptr);
    hold.view.release();  // the matches own their bytes; a buffer may change from here on
    return result_of(std::move(outcome), document, text.encoding);
}

}  // namespace quorbix::lib
