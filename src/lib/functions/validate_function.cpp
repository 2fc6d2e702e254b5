// validate(data): whether the document is well formed, as a bool.
#include "engine/validate.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"data"};
constexpr Signature signature{"validate()", parameters, 1};

Expected<PyRef> validate(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* data;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &data))
        return std::move(*error);
    // The view, if the document is a buffer, is held for the validation only.
    DocumentHold hold;
    Expected<DocumentText> document = read_any_text(data, hold, Reading::Markup);
    if (!document.ok()) return std::move(document.error());
    std::string_view bytes = document.value().bytes;
    bool valid =
        scan_unlocked(hold, bytes.size(), [&] { return engine::validate_document(bytes); });
    hold.view.release();
    return PyRef(PyBool_FromLong(valid));
}

PyObject* validate_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(validate(args, nargs, kwnames));
}

// _validation_report(data): None for a valid document, else the offset of
// the markup at fault and what is wrong with it (for the command line).
constexpr Signature report_signature{"_validation_report()", parameters, 1};

Expected<PyRef> report(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* data;
    if (auto error = bind_arguments(report_signature, args, nargs, kwnames, &data))
        return std::move(*error);
    DocumentHold hold;
    Expected<DocumentText> document = read_any_text(data, hold, Reading::Markup);
    if (!document.ok()) return std::move(document.error());
    std::string_view bytes = document.value().bytes;
    engine::ValidationReport found =
        scan_unlocked(hold, bytes.size(), [&] { return engine::validation_report(bytes); });
    hold.view.release();
    if (found.valid) return PyRef::borrow(Py_None);
    PyRef offset(PyLong_FromSize_t(found.offset));
    PyRef problem(PyUnicode_FromStringAndSize(found.problem.data(),
                                              static_cast<Py_ssize_t>(found.problem.size())));
    if (!offset || !problem) return PendingError::fetch();
    PyRef pair(PyTuple_Pack(2, offset.get(), problem.get()));
    if (!pair) return PendingError::fetch();
    return pair;
}

PyObject* report_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(report(args, nargs, kwnames));
}

}  // namespace

PyMethodDef validation_report_function = {"_validation_report", method<report_entry>(),
                                          METH_FASTCALL | METH_KEYWORDS,
                                          "_validation_report(data)\n--\n\n"};

PyMethodDef validate_function = {"validate", method<validate_entry>(),
                                 METH_FASTCALL | METH_KEYWORDS, "validate(data)\n--\n\n"};

}  // namespace quorbix::lib
