#include "lib/functions/single_path.hpp"

#include "engine/evaluator.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/result/item.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {
namespace {

Expected<PyRef> result_of(engine::EvalOutcome outcome, PyObject* document, xml::Encoding encoding,
                          const path::CompiledPath& path, const engine::MatchScopes& scopes) {
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return make_answer(items_from_matches(std::move(std::get<engine::Matches>(outcome)), document,
                                          encoding, &scopes),
                       path);
}

}  // namespace

Expected<PyRef> query_document(PyObject* data, DocumentKind kind, const path::CompiledPath& path) {
    DocumentHold hold;
    auto input = scan_input(data, kind, true, hold);
    if (!input.ok()) return std::move(input.error());
    const auto& [text, document] = input.value();
    engine::MatchScopes scopes;
    auto outcome = scan_unlocked(hold, text.bytes.size(), [&] {
        return engine::evaluate_path(text.bytes, text.encoding, path, document != nullptr, nullptr,
                                     &scopes);
    });
    hold.view.release();  // the matches own their bytes; a buffer may change from here on
    if (!outcome.ok()) return std::move(outcome.error());
    return result_of(std::move(outcome.value()), document, text.encoding, path, scopes);
}

// bind; check the document's kind (str and bytes entries only); convert the
// path; answer the empty path at once; compile; scan.
Expected<PyRef> single_path(const Signature& signature, DocumentKind kind, PyObject* const* args,
                            Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[3];
    if (auto error = bind_document_call(signature, kind, args, nargs, kwnames, bound))
        return std::move(*error);
    auto text = str_argument(bound[1], "path");
    if (!text.ok()) return std::move(text.error());
    auto namespaces = namespaces_argument(bound[2]);
    if (!namespaces.ok()) return std::move(namespaces.error());
    if (text.value().empty()) return empty_result();  // nothing compiled, the document unread
    const auto& mapping = namespaces.value();
    auto compiled = compile_text(text.value(), mapping ? &*mapping : nullptr);
    if (!compiled.ok()) return std::move(compiled.error());
    return query_document(bound[0], kind, *compiled.value());
}

}  // namespace quorbix::lib
