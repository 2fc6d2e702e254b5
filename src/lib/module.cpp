// The extension module quorbix._quorbix: multi-phase initialisation whose one
// execution slot adds the functions and classes, each also listed in __all__.
#include <Python.h>

#include "lib/calls/arguments.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/path_object.hpp"
#include "lib/functions/table_object.hpp"
#include "lib/result/iterators.hpp"
#include "lib/result/result.hpp"
#include "lib/result/views.hpp"
#include "lib/support/py_ref.hpp"

namespace quorbix::lib {
namespace {

// Appends `name` to the module's __all__, creating the list on first use.
bool list_in_all(PyObject* module, PyObject* name) {
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        PyErr_Clear();
        all = PyRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return false;
    }
    return PyList_Append(all.get(), name) == 0;
}

// A public function is listed in __all__; one whose name starts with an
// underscore serves the package's Python code only.
bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* def, bool public_name) {
    PyRef function(PyCFunction_NewEx(def, module, module_name));
    if (!function) return false;
    PyRef name(PyObject_GetAttrString(function.get(), "__name__"));
    if (!name || (public_name && !list_in_all(module, name.get()))) return false;
    return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

bool add_class(PyObject* module, PyObject* type) {
    if (type == nullptr) return false;
    PyRef name(PyObject_GetAttrString(type, "__name__"));
    if (!name || !list_in_all(module, name.get())) return false;
    return PyObject_SetAttr(module, name.get(), type) == 0;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PendingError(PyExc_TypeError, instance_check_message(module, "module")).raise();
        return -1;
    }
    PyRef module_name(PyObject_GetAttrString(module, "__name__"));
    if (!module_name) return -1;
    PyMethodDef* functions[] = {
        &get_function,      &get_bytes_function,      &get_buffer_function,
        &get_many_function, &get_many_bytes_function, &get_many_buffer_function,
        &parse_function,    &compile_function,        &validate_function};
    for (PyMethodDef* def : functions)
        if (!add_function(module, module_name.get(), def, true)) return -1;
    for (PyMethodDef* def : {&table_function, &json_items_function, &validation_report_function,
                             &stream_function, &text_codec_function, &start_known_function})
        if (!add_function(module, module_name.get(), def, false)) return -1;
    PyObject* (*classes[])() = {
        path_type,         table_type,          result_type,           char_iter_type,
        item_iter_type,    child_key_iter_type, child_value_iter_type, child_item_iter_type,
        child_iter_type,   keys_view_type,      values_view_type,      items_view_type,
        children_view_type};
    for (auto make_class : classes)
        if (!add_class(module, make_class())) return -1;
    return 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, slot<exec_module>()},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_quorbix", "", 0, nullptr, slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace quorbix::lib

PyMODINIT_FUNC PyInit__quorbix(void) {
    return PyModuleDef_Init(&quorbix::lib::module_def);
}
