#include "lib/result/views.hpp"

#include <string>

#include "lib/result/child_scan.hpp"
#include "lib/result/iterators.hpp"
#include "lib/result/result.hpp"
#include "lib/result/values.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/heap_object.hpp"
#include "text/quote_literal.hpp"

namespace quorbix::lib {
namespace {

struct ViewObject {
    PyObject ob_base;
    PyRef fields;  // the parent Result
};

PyObject* parent_of(PyObject* view) {
    return reinterpret_cast<ViewObject*>(view)->fields.get();
}

const PyItems& parent_items(PyObject* view) {
    return items_of(parent_of(view));
}

Expected<ResultChildren> parent_children(PyObject* view) {
    DocumentHold hold;
    return result_children(parent_of(view), hold);
}

template <Expected<PyRef> (*Make)(const PyItems&)>
PyObject* view_iter(PyObject* self) {
    return finish(Make(parent_items(self)));
}

// The number of unique names, or of children.
template <bool EveryChild>
Py_ssize_t view_len(PyObject* self) {
    auto children = parent_children(self);
    if (!children.ok()) {
        children.error().raise();
        return -1;
    }
    const ChildScan& s = children.value().scan();
    return static_cast<Py_ssize_t>(EveryChild ? s.children().size() : s.names().size());
}

// `x in r.keys()`: a str that names a child; anything else is simply absent.
int keys_contains(PyObject* self, PyObject* key) {
    if (!PyUnicode_Check(key)) return 0;
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(key, &length);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return 0;
    }
    auto children = parent_children(self);
    if (!children.ok()) {
        children.error().raise();
        return -1;
    }
    return children.value().scan().has_child(
        std::string_view(utf8, static_cast<std::size_t>(length)));
}

PyObject* keys_repr(PyObject* self) {
    auto children = parent_children(self);
    if (!children.ok()) return finish(std::move(children.error()));
    const auto& names = children.value().scan().names();
    std::string shown = "result_keys([";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) shown += ", ";
        shown += text::quote_literal(names[i]);
    }
    shown += "])";
    return finish(checked(new_str(shown)));
}

template <const char* Text>
PyObject* fixed_repr(PyObject*) {
    return PyUnicode_FromString(Text);
}

constexpr char values_shown[] = "result_values([...])";
constexpr char items_shown[] = "result_items([...])";
constexpr char children_shown[] = "result_children([...])";

// The class of a view: final, not instantiable from Python, made on first
// use (under the interpreter lock, see path_type). Only the keys view answers
// `in` itself; the others leave it to iteration.
template <Expected<PyRef> (*Iterate)(const PyItems&), bool EveryChild, PyObject* (*Repr)(PyObject*),
          bool Contains>
PyObject* view_class(const char* name, const char* doc) {
    static PyObject* type = nullptr;
    if (type != nullptr) return type;
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<ViewObject>)},
        {Py_tp_traverse, reinterpret_cast<void*>(traverse_instance<ViewObject>)},
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_iter, slot<view_iter<Iterate>>()},
        {Py_sq_length, slot<view_len<EveryChild>>()},
        {Py_tp_repr, slot<Repr>()},
        {Contains ? Py_sq_contains : 0, Contains ? slot<keys_contains>() : nullptr},
        {0, nullptr},
    };
    // Its parent Result breaks the cycles a view is part of.
    PyType_Spec spec = {name, sizeof(ViewObject), 0, class_flags(true), slots};
    type = PyType_FromSpec(&spec);
    return type;
}

// A view of a DictElement Result; a TypeError naming `method` for any other.
Expected<PyRef> view_of(PyObject* self, PyObject* type, const char* method) {
    DocumentHold hold;
    auto mode = result_mode(self, hold);
    if (!mode.ok()) return std::move(mode.error());
    if (mode.value() != ResultMode::DictElement)
        return PendingError(PyExc_TypeError,
                            std::string("Result.") + method +
                                "() requires a dict-like Result (single element with children); "
                                "got " +
                                mode_name(mode.value()));
    return new_instance<ViewObject>(type, PyRef::borrow(self));
}

}  // namespace

PyObject* keys_view_type() {
    return view_class<make_child_key_iter, false, keys_repr, true>(
        "quorbix._quorbix.ResultKeysView",
        "dict.keys()-like view over a DictElement Result. Re-iterable; each call to\n__iter__ "
        "produces a fresh, lazy iterator.");
}

PyObject* values_view_type() {
    return view_class<make_child_value_iter, false, fixed_repr<values_shown>, false>(
        "quorbix._quorbix.ResultValuesView", "dict.values()-like view over a DictElement Result.");
}

PyObject* items_view_type() {
    return view_class<make_child_item_iter, false, fixed_repr<items_shown>, false>(
        "quorbix._quorbix.ResultItemsView", "dict.items()-like view over a DictElement Result.");
}

PyObject* children_view_type() {
    return view_class<make_child_iter, true, fixed_repr<children_shown>, false>(
        "quorbix._quorbix.ResultChildrenView",
        "Order-preserving view over every direct child element of a DictElement\nResult. "
        "Re-iterable; each call to `__iter__` produces a fresh, lazy iterator.");
}

namespace result_slots {

PyObject* keys(PyObject* self, PyObject*) {
    return finish(view_of(self, keys_view_type(), "keys"));
}
PyObject* values(PyObject* self, PyObject*) {
    return finish(view_of(self, values_view_type(), "values"));
}
PyObject* items(PyObject* self, PyObject*) {
    return finish(view_of(self, items_view_type(), "items"));
}
PyObject* children(PyObject* self, PyObject*) {
    return finish(view_of(self, children_view_type(), "children"));
}

}  // namespace result_slots
}  // namespace quorbix::lib
