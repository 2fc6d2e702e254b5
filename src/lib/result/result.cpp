#include "lib/result/result.hpp"

#include <atomic>

#include "engine/element_text.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/result/child_scan.hpp"
#include "lib/result/slots.hpp"
#include "lib/result/views.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/heap_object.hpp"

namespace quorbix::lib {
namespace {

struct ResultFields {
    ResultFields(PyItems items, bool list) : items(std::move(items)), list(list) {}
    ResultFields(const ResultFields&) = delete;
    ResultFields& operator=(const ResultFields&) = delete;
    ~ResultFields() { delete children.load(); }

    PyItems items;      // in the order the engine produced them
    bool list = false;  // the answer of a path that answers a list
    // The children of its element, kept from the first lookup by name on
    // when its bytes cannot change (result_children). Published once, by
    // whichever thread finishes building first; never replaced before the
    // Result goes, so a pointer read from it stays valid while the Result
    // lives.
    std::atomic<const ChildScan*> children{nullptr};
};

int visit_references(const ResultFields& fields, visitproc visit, void* arg) {
    return visit_references(fields.items, visit, arg);
}

// The kept children stay: they hold no references, and with no items left
// the Result is empty and never looks at them.
void drop_references(ResultFields& fields) {
    drop_references(fields.items);
}

struct ResultObject {
    PyObject ob_base;
    ResultFields fields;
};

ResultFields& fields_of(PyObject* result) {
    return reinterpret_cast<ResultObject*>(result)->fields;
}

constexpr const char* result_doc =
    "The matches of a query. Empty, one scalar or text element, one element\n"
    "with children (dict-like), or several matches (list-like). Made by get,\n"
    "get_bytes, get_buffer, the get_many functions, parse and Path.get. The\n"
    "answer of a path whose shape is \"list\" is list-like however many matched.";

PyMethodDef result_methods[] = {
    {"exists", method<result_slots::exists>(), METH_NOARGS, "exists($self)\n--\n\n"},
    {"to_int", method<result_slots::to_int>(), METH_NOARGS, "to_int($self)\n--\n\n"},
    {"to_float", method<result_slots::to_float>(), METH_NOARGS, "to_float($self)\n--\n\n"},
    {"to_bool", method<result_slots::to_bool>(), METH_NOARGS, "to_bool($self)\n--\n\n"},
    {"to_str", method<result_slots::to_str>(), METH_NOARGS, "to_str($self)\n--\n\n"},
    {"to_ints", method<result_slots::to_ints>(), METH_NOARGS,
     "to_ints($self)\n--\n\nEach match's to_int(), in document order, as one list."},
    {"to_floats", method<result_slots::to_floats>(), METH_NOARGS,
     "to_floats($self)\n--\n\nEach match's to_float(), in document order, as one list."},
    {"to_strs", method<result_slots::to_strs>(), METH_NOARGS,
     "to_strs($self)\n--\n\nEach match's to_str(), in document order, as one list."},
    {"get", method<result_slots::nested_get>(), METH_FASTCALL | METH_KEYWORDS,
     "get($self, path, namespaces=None)\n--\n\n"},
    {"get_many", method<result_slots::nested_get_many>(), METH_FASTCALL | METH_KEYWORDS,
     "get_many($self, paths, namespaces=None)\n--\n\n"},
    {"keys", method<result_slots::keys>(), METH_NOARGS,
     "keys($self)\n--\n\nReturn a view of the dict-mode Result's child element keys (unique,\n"
     "first-occurrence order). Errors with `TypeError` for non-dict modes."},
    {"values", method<result_slots::values>(), METH_NOARGS,
     "values($self)\n--\n\nReturn a view of the dict-mode Result's child values. For each "
     "unique\nkey, the value is a Result over all direct children with that tag."},
    {"items", method<result_slots::items>(), METH_NOARGS,
     "items($self)\n--\n\nReturn a view of the dict-mode Result's `(key, value_Result)` pairs."},
    {"children", method<result_slots::children>(), METH_NOARGS,
     "children($self)\n--\n\nReturn a view of the dict-mode Result's `(name, value_Result)` "
     "pairs for\nevery direct child element, in document order. Unlike `items()`, repeated\n"
     "tag names are not collapsed: each child element yields its own pair."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef result_getset[] = {
    {"type_", guarded<result_slots::type_>, nullptr,
     "Return the Python type that best describes the value held by this Result:\n"
     "  - `None`  when the Result is empty (no match)\n"
     "  - `int`   for a single numeric value parseable as integer\n"
     "  - `float` for a single numeric value parseable as float\n"
     "  - `str`   for a single scalar or a text-only element\n"
     "  - `list`  when multiple items are present\n"
     "  - `dict`  for a single element that has child elements",
     nullptr},
    {"value", guarded<result_slots::value>, nullptr,
     "Return the value held by this Result in its natural Python type:\n"
     "  - `None`          when the Result is empty\n"
     "  - `int` / `float` for numeric scalars\n"
     "  - `str`           for text scalars\n"
     "  - `list[Result]`  for multiple items\n"
     "  - `dict[str, Result]` for an element with child elements",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot result_type_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<ResultObject>)},
    {Py_tp_traverse, reinterpret_cast<void*>(traverse_instance<ResultObject>)},
    {Py_tp_clear, reinterpret_cast<void*>(clear_instance<ResultObject>)},
    {Py_tp_doc, const_cast<char*>(result_doc)},
    {Py_tp_methods, result_methods},
    {Py_tp_getset, result_getset},
    {Py_tp_repr, slot<result_slots::repr>()},
    {Py_tp_richcompare, slot<result_slots::richcompare>()},
    {Py_nb_int, slot<result_slots::as_int>()},
    {Py_nb_bool, slot<result_slots::truth>()},
    {Py_sq_length, slot<result_slots::length>()},
    {Py_mp_length, slot<result_slots::length>()},
    {Py_mp_subscript, slot<result_slots::item>()},
    {Py_tp_iter, slot<result_slots::iter>()},
    {Py_nb_float, slot<result_slots::as_float>()},
    {0, nullptr},
};

// Results are made only by the module; without a hash slot beside the
// comparison slot, instances are unhashable. A Result breaks the cycles it is
// part of by dropping its items.
PyType_Spec result_spec = {
    "quorbix._quorbix.Result", sizeof(ResultObject), 0, class_flags(true), result_type_slots,
};

}  // namespace

PyObject* result_type() {
    static PyObject* type = nullptr;  // see path_type: no C++ guard under the interpreter lock
    if (type == nullptr) type = PyType_FromSpec(&result_spec);
    return type;
}

Expected<PyRef> make_result(PyItems items, bool list) {
    bool in_cycles = may_be_in_cycles(items);
    auto result = new_instance<ResultObject>(result_type(), std::move(items), list);
    // Most Results hold texts, copies, and bytes or str documents, which hold
    // no references: they cannot be part of a cycle, and the collector need
    // not look at them, as CPython leaves tuples of atoms alone.
    if (result.ok() && !in_cycles) PyObject_GC_UnTrack(result.value().get());
    return result;
}

Expected<PyRef> single_result(const PyItem& item) {
    PyItems one;
    one.push_back(item.clone());
    return make_result(std::move(one));
}

Expected<PyRef> make_answer(PyItems items, const path::CompiledPath& path) {
    return make_result(std::move(items), path.answer_shape == path::AnswerShape::List);
}

Expected<PyRef> empty_result() {
    return make_result({});
}

bool is_result(PyObject* object) {
    PyObject* type = result_type();
    return type != nullptr && Py_TYPE(object) == reinterpret_cast<PyTypeObject*>(type);
}

const PyItems& items_of(PyObject* result) {
    return fields_of(result).items;
}

bool is_list(PyObject* result) {
    return fields_of(result).list;
}

Expected<ResultMode> result_mode(PyObject* result, DocumentHold& hold) {
    if (is_list(result)) return ResultMode::Multi;
    return mode_of(items_of(result), hold);
}

// A list answer of one match is never looked up by name, so it keeps none.
bool has_kept_children(PyObject* result) {
    const ResultFields& fields = fields_of(result);
    return !fields.list && fields.items.size() == 1 &&
           fields.children.load(std::memory_order_acquire) != nullptr;
}

Expected<ResultChildren> result_children(PyObject* result, DocumentHold& hold) {
    ResultFields& fields = fields_of(result);
    ResultChildren children;
    if (fields.items.size() == 1) {
        children.current = fields.children.load(std::memory_order_acquire);
        if (children.current != nullptr) return children;
    }
    auto scan = ChildScan::of(fields.items, false, hold);
    if (!scan.ok()) return std::move(scan.error());
    if (hold.view.held()) {  // a buffer's bytes may change before the next operation
        children.fresh = std::make_unique<ChildScan>(std::move(scan.value()));
        children.current = children.fresh.get();
        return children;
    }
    auto built = std::make_unique<ChildScan>(std::move(scan.value()));
    built->group();  // all it is asked later only reads it
    const ChildScan* first = nullptr;
    if (fields.children.compare_exchange_strong(first, built.get(), std::memory_order_acq_rel,
                                                std::memory_order_acquire)) {
        children.current = built.release();
    } else {
        children.current = first;  // another thread's came first; ours goes
    }
    return children;
}

const char* mode_name(ResultMode mode) {
    switch (mode) {
        case ResultMode::Empty:
            return "empty";
        case ResultMode::ScalarLike:
            return "scalar";
        case ResultMode::DictElement:
            break;
        case ResultMode::Multi:
            return "multi";
    }
    return "dict";
}

Expected<ResultMode> mode_of(const PyItems& items) {
    DocumentHold hold;
    return mode_of(items, hold);
}

Expected<ResultMode> mode_of(const PyItems& items, DocumentHold& hold) {
    if (items.empty()) return ResultMode::Empty;
    if (items.size() > 1) return ResultMode::Multi;
    return item_mode(items[0], hold);
}

Expected<ResultMode> item_mode(const PyItem& item, DocumentHold& hold) {
    if (!item.is_element() || item.is_leaf()) return ResultMode::ScalarLike;
    auto bytes = element_bytes(item, hold);
    if (!bytes.ok()) return std::move(bytes.error());
    std::string_view element = bytes.value().bytes;
    auto children =
        scan_unlocked(hold, element.size(), [&] { return engine::has_child_element(element); });
    if (!children.ok()) return std::move(children.error());
    return children.value() ? ResultMode::DictElement : ResultMode::ScalarLike;
}

}  // namespace quorbix::lib
