// validate(data): whether the document is well formed, as a bool; and
// _validation_report(data): None for a valid document, else the offset of the
// markup at fault and what is wrong with it (for the command line).
#include "engine/validate.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data"};

// Binds `data` by `signature`, reads its markup, runs `check` over it (without
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
    std::string_view bytes = document.value().bytes;
    auto found = scan_unlocked(hold, bytes.size(), [&] { return check(bytes); });
    hold.view.release();
    if (!found.ok()) return std::move(found.error());
    return answer(found.value());
}

Expected<PyRef> validate(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"validate()", parameters, 1};
    return check_markup(
        signature, args, nargs, kwnames, engine::validate_document,
        [](bool valid) -> Expected<PyRef> { return PyRef(PyBool_FromLong(valid)); });
}

Expected<PyRef> report(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"_validation_report()", parameters, 1};
    return check_markup(
        signature, args, nargs, kwnames, engine::validation_report,
        [](const engine::ValidationReport& found) -> Expected<PyRef> {
            if (found.valid) return PyRef::borrow(Py_None);
            PyRef offset(PyLong_FromSize_t(found.offset));
            PyRef problem(PyUnicode_FromStringAndSize(
                found.problem.data(), static_cast<Py_ssize_t>(found.problem.size())));
            if (!offset || !problem) return PendingError::fetch();
            PyRef pair(PyTuple_Pack(2, offset.get(), problem.get()));
            if (!pair) return PendingError::fetch();
            return pair;
        });
}

}  // namespace

PyMethodDef validation_report_function = {"_validation_report", method<call_entry<report>>(),
                                          METH_FASTCALL | METH_KEYWORDS,
                                          "_validation_report(data)\n--\n\n"};

PyMethodDef validate_function = {"validate", method<call_entry<validate>>(),
                                 METH_FASTCALL | METH_KEYWORDS, "validate(data)\n--\n\n"};

}  // namespace quorbix::lib
