// validate(data): whether the document is well formed, as a bool; and
// _validation_report(data): None for a valid document, else where it goes
// wrong and how (report_object), behind quorbix.validation_report.
#include "engine/validate.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/report_object.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data"};

// Binds `data` by `signature`, reads its markup, runs `check` over its text (without
// the lock where that is safe) and makes the answer of what `check` found,
// once a buffer's view, held for the check only, is released.
template <class Check, class Answer>
Expected<PyRef> check_markup(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames, Check check, Answer answer) {
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data))
        return std::move(*error);
    DocumentHold hold;
    Expected<DocumentText> document = read_any_text(data, hold, Reading::Markup);
    if (!document.ok()) return std::move(document.error());
    const DocumentText& text = document.value();
    auto found = scan_unlocked(hold, text.bytes.size(), [&] { return check(text); });
    hold.view.release();
    if (!found.ok()) return std::move(found.error());
    return answer(found.value());
}

Expected<PyRef> validate(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"validate()", parameters, 1};
    return check_markup(
        signature, args, nargs, kwnames,
        [](const DocumentText& text) { return engine::validate_document(text.bytes); },
        [](bool valid) -> Expected<PyRef> { return PyRef(PyBool_FromLong(valid)); });
}

Expected<PyRef> report(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"_validation_report()", parameters, 1};
    return check_markup(
        signature, args, nargs, kwnames,
        [](const DocumentText& text) {
            return engine::validation_report(text.bytes, text.encoding);
        },
        [](const engine::ValidationReport& found) -> Expected<PyRef> {
            PyRef answer = report_object(found);
            if (!answer) return PendingError::fetch();
            return answer;
        });
}

}  // namespace

PyRef report_object(const engine::ValidationReport& report) {
    if (report.valid) return PyRef::borrow(Py_None);
    PyRef message(PyUnicode_DecodeUTF8(
        report.problem.data(), static_cast<Py_ssize_t>(report.problem.size()), "backslashreplace"));
    if (!message) return PyRef();
    return PyRef(Py_BuildValue("(nnnO)", static_cast<Py_ssize_t>(report.offset),
                               static_cast<Py_ssize_t>(report.line),
                               static_cast<Py_ssize_t>(report.column), message.get()));
}

PyMethodDef validation_report_function = {"_validation_report", method<call_entry<report>>(),
                                          METH_FASTCALL | METH_KEYWORDS,
                                          "_validation_report(data)\n--\n\n"};

PyMethodDef validate_function = {"validate", method<call_entry<validate>>(),
                                 METH_FASTCALL | METH_KEYWORDS, "validate(data)\n--\n\n"};

}  // namespace quorbix::lib
