// get_many, get_many_bytes and get_many_buffer: many paths, one pass.
#include "lib/functions/many_paths.hpp"

#include "engine/evaluator.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/path_object.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {

Expected<PathEntries> path_entries(PyObject* list, const path::NamespaceMap* namespaces) {
    PathEntries entries;
    Py_ssize_t count = PyList_Size(list);
    entries.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* entry = PyList_GetItem(list, i);  // borrowed; compiled before anything runs
        if (entry != nullptr && PyUnicode_Check(entry)) {
            Py_ssize_t length = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(entry, &length);
            if (utf8 != nullptr) {
                std::string_view text(utf8, static_cast<std::size_t>(length));
                if (text.empty()) {
                    entries.emplace_back();
                    continue;
                }
                auto compiled = compile_text(text, namespaces);
                if (!compiled.ok()) return std::move(compiled.error());
                entries.push_back(std::move(compiled.value()));
                continue;
            }
            PyErr_Clear();  // a str without a UTF-8 form is no path
        } else if (entry != nullptr && is_path(entry)) {
            entries.push_back(compiled_path_of(entry));
            continue;
        }
        return PendingError(PyExc_TypeError, "paths must be a list of str or quorbix.Path");
    }
    return entries;
}

std::vector<const path::CompiledPath*> compiled_of(const PathEntries& entries) {
    std::vector<const path::CompiledPath*> paths;
    for (const auto& entry : entries)
        if (entry) paths.push_back(entry.get());
    return paths;
}

Expected<PyRef> results_of(const PathEntries& entries, std::vector<engine::Matches>&& lists,
                           PyObject* document, xml::Encoding encoding,
                           const engine::MatchScopes* scopes) {
    PyRef out(PyList_New(0));
    if (!out) return PendingError::fetch();
    std::size_t next = 0;
    for (const auto& entry : entries) {
        auto result = entry ? make_answer(items_from_matches(std::move(lists[next++]), document,
                                                             encoding, scopes),
                                          *entry)
                            : empty_result();  // an empty path
        if (!result.ok()) return std::move(result.error());
        if (PyList_Append(out.get(), result.value().get()) != 0) return PendingError::fetch();
    }
    return out;
}

namespace {

Expected<PyRef> outcome_results(engine::MultiOutcome outcome, const PathEntries& entries,
                                PyObject* document, xml::Encoding encoding,
                                const engine::MatchScopes& scopes) {
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return results_of(entries, std::move(std::get<std::vector<engine::Matches>>(outcome)), document,
                      encoding, &scopes);
}

// Reads the document only when some entry needs a scan, and scans once:
// get_many_bytes in range mode, get_many (copying out of the str) and
// get_many_buffer in copy mode.
Expected<PyRef> answer(PyObject* data, DocumentKind kind, const PathEntries& entries) {
    auto paths = compiled_of(entries);
    if (paths.empty()) return results_of(entries, {}, nullptr, xml::Encoding::Utf8, nullptr);
    DocumentHold hold;
    auto input = scan_input(data, kind, kind == DocumentKind::Bytes, hold);
    if (!input.ok()) return std::move(input.error());
    const auto& [text, document] = input.value();
    engine::MatchScopes scopes;
    auto outcome = scan_unlocked(hold, text.bytes.size(), [&] {
        return engine::evaluate_paths(text.bytes, text.encoding, paths, document != nullptr,
                                      nullptr, &scopes);
    });
    hold.view.release();  // the matches own their bytes; a buffer may change from here on
    if (!outcome.ok()) return std::move(outcome.error());
    return outcome_results(std::move(outcome.value()), entries, document, text.encoding, scopes);
}

constexpr const char* data_and_paths[] = {"data", "paths", "namespaces"};

// bind; check the document's kind (str and bytes entries only); convert the
// entries; answer the empty list at once; scan.
Expected<PyRef> many_paths(const Signature& signature, DocumentKind kind, PyObject* const* args,
                           Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* bound[3];
    if (auto error = bind_document_call(signature, kind, args, nargs, kwnames, bound))
        return std::move(*error);
    if (!PyList_Check(bound[1])) return argument_type_error("paths", bound[1], "list");
    auto namespaces = namespaces_argument(bound[2]);
    if (!namespaces.ok()) return std::move(namespaces.error());
    const auto& mapping = namespaces.value();
    auto entries = path_entries(bound[1], mapping ? &*mapping : nullptr);
    if (!entries.ok()) return std::move(entries.error());
    return answer(bound[0], kind, entries.value());
}

constexpr Signature get_many_signature{"get_many()", data_and_paths, 3, 1};
constexpr Signature get_many_bytes_signature{"get_many_bytes()", data_and_paths, 3, 1};
constexpr Signature get_many_buffer_signature{"get_many_buffer()", data_and_paths, 3, 1};

}  // namespace

PyMethodDef get_many_function = {
    "get_many", method<query_entry<many_paths, get_many_signature, DocumentKind::Str>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_many(data, paths, namespaces=None)\n--\n\n"};
PyMethodDef get_many_bytes_function = {
    "get_many_bytes",
    method<query_entry<many_paths, get_many_bytes_signature, DocumentKind::Bytes>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_many_bytes(data, paths, namespaces=None)\n--\n\n"};
PyMethodDef get_many_buffer_function = {
    "get_many_buffer",
    method<query_entry<many_paths, get_many_buffer_signature, DocumentKind::Buffer>>(),
    METH_FASTCALL | METH_KEYWORDS, "get_many_buffer(data, paths, namespaces=None)\n--\n\n"};

}  // namespace quorbix::lib
