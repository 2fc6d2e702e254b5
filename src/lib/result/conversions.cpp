// Result to Python values: exists, to_int, to_float, to_bool, to_str, type_,
// value, int() and float(); and to_ints, to_floats, to_strs, which make one
// list of what each match's own conversion gives, with no Result per match.
#include <string>

#include "engine/element_text.hpp"
#include "engine/scalar_text.hpp"
#include "lib/result/child_scan.hpp"
#include "lib/result/result.hpp"
#include "lib/result/slots.hpp"
#include "lib/result/values.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"

namespace quorbix::lib {

using engine::ScalarType;

Expected<ItemText> scalar_text(const PyItem& item, DocumentHold& hold) {
    auto text = item_text(item, hold);
    if (!text.ok()) return text;
    text.value().trim();
    return text;
}

PyRef new_str(std::string_view utf8) {
    return PyRef(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

Expected<PyRef> checked(PyRef object) {
    if (!object) return PendingError::fetch();
    return object;
}

namespace {

Expected<PyRef> scalar_value(const PyItem& item, DocumentHold& hold) {
    auto text = scalar_text(item, hold);
    if (!text.ok()) return std::move(text.error());
    std::string_view t = text.value().view();
    switch (engine::classify_scalar(t)) {
        case ScalarType::Int:
            return checked(PyRef(PyLong_FromLongLong(engine::text_to_int(t))));
        case ScalarType::Float:
            return checked(PyRef(PyFloat_FromDouble(engine::text_to_double(t))));
        case ScalarType::Str:
            break;
    }
    return checked(new_str(t));
}

// One Result per distinct child name, holding every child of that name.
Expected<PyRef> dict_value(const PyItems& items, DocumentHold& hold) {
    auto scan = ChildScan::of_element(items.front(), false, hold);
    if (!scan.ok()) return std::move(scan.error());
    PyRef dict(PyDict_New());
    if (!dict) return PendingError::fetch();
    const auto& names = scan.value().names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto result = scan.value().value_of(i);
        if (!result.ok()) return std::move(result.error());
        PyRef key = new_str(names[i]);
        if (!key || PyDict_SetItem(dict.get(), key.get(), result.value().get()) != 0)
            return PendingError::fetch();
    }
    return dict;
}

PyRef int_of(std::string_view text) {
    return PyRef(PyLong_FromLongLong(engine::text_to_int(text)));
}

PyRef float_of(std::string_view text) {
    return PyRef(PyFloat_FromDouble(engine::text_to_double(text)));
}

// to_int or to_float of a Result of `item` alone: its untrimmed text read as
// a number.
template <PyRef (*number)(std::string_view)>
Expected<PyRef> item_number(const PyItem& item, DocumentHold& hold, std::string& scratch) {
    auto text = item_text(item, hold, scratch);
    if (!text.ok()) return std::move(text.error());
    return checked(number(text.value()));
}

// to_int and to_float: the first item's number, whatever the mode.
template <PyRef (*number)(std::string_view)>
Expected<PyRef> first_number(const PyItems& items) {
    if (items.empty()) return checked(number({}));
    DocumentHold hold;
    std::string scratch;
    return item_number<number>(items.front(), hold, scratch);
}

// A scalar's text as it is, an element as its markup, appended to `out`.
Expected<bool> append_as_written(const PyItem& item, DocumentHold& hold, std::string& out) {
    if (!item.is_element()) {
        out += item.scalar();
        return true;
    }
    auto bytes = element_bytes(item, hold);  // the element a mode read, if one
    if (!bytes.ok()) return std::move(bytes.error());
    std::string decoded;
    out += xml::utf8_text(bytes.value().bytes, bytes.value().encoding, decoded);
    return true;
}

// to_str of a Result of `item` alone: its trimmed text, or the markup of an
// element with children (built in `scratch`).
Expected<PyRef> item_str(const PyItem& item, DocumentHold& hold, std::string& scratch) {
    auto mode = item_mode(item, hold);
    if (!mode.ok()) return std::move(mode.error());
    if (mode.value() == ResultMode::ScalarLike) {
        auto text = scalar_text(item, hold);
        if (!text.ok()) return std::move(text.error());
        return checked(new_str(text.value().view()));
    }
    scratch.clear();
    auto appended = append_as_written(item, hold, scratch);
    if (!appended.ok()) return std::move(appended.error());
    return checked(new_str(scratch));
}

Expected<PyRef> to_str_of(const PyItems& items) {
    DocumentHold hold;
    std::string joined;
    if (items.empty()) return checked(new_str(""));
    if (items.size() == 1) return item_str(items.front(), hold, joined);
    // Elements as their markup, texts as they are, one per line.
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += '\n';
        auto appended = append_as_written(items[i], hold, joined);
        if (!appended.ok()) return std::move(appended.error());
    }
    return checked(new_str(joined));
}

// A list of what `convert` makes of each item, in order; the items are read
// through one hold, and their texts into one scratch.
template <Expected<PyRef> (*convert)(const PyItem&, DocumentHold&, std::string&)>
Expected<PyRef> each_item(const PyItems& items) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return PendingError::fetch();
    DocumentHold hold;
    std::string scratch;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto value = convert(items[i], hold, scratch);
        if (!value.ok()) return std::move(value.error());
        // Takes the reference; the slots not yet filled are null, which a
        // list dropped on an error releases as nothing.
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), value.value().release());
    }
    return list;
}

Expected<PyRef> item_result(const PyItem& item, DocumentHold&, std::string&) {
    return single_result(item);
}

// A Result per item, as a loop over the Result yields them.
Expected<PyRef> list_value(const PyItems& items) {
    return each_item<item_result>(items);
}

Expected<PyRef> to_bool_of(const PyItems& items) {
    DocumentHold hold;
    auto mode = mode_of(items, hold);
    if (!mode.ok()) return std::move(mode.error());
    bool truth = mode.value() != ResultMode::Empty;
    if (mode.value() == ResultMode::ScalarLike) {
        auto text = item_text(items.front(), hold);
        if (!text.ok()) return std::move(text.error());
        auto fixed = engine::boolean_text(text.value().view());
        truth = fixed ? *fixed : engine::text_to_int(text.value().view()) != 0;
    }
    return PyRef(PyBool_FromLong(truth));
}

Expected<PyRef> type_of(PyObject* self) {
    const PyItems& items = items_of(self);
    DocumentHold hold;
    auto mode = result_mode(self, hold);
    if (!mode.ok()) return std::move(mode.error());
    PyObject* type = Py_None;
    switch (mode.value()) {
        case ResultMode::Empty:
            break;
        case ResultMode::DictElement:
            type = reinterpret_cast<PyObject*>(&PyDict_Type);
            break;
        case ResultMode::Multi:
            type = reinterpret_cast<PyObject*>(&PyList_Type);
            break;
        case ResultMode::ScalarLike: {
            auto text = scalar_text(items.front(), hold);
            if (!text.ok()) return std::move(text.error());
            switch (engine::classify_scalar(text.value().view())) {
                case ScalarType::Int:
                    type = reinterpret_cast<PyObject*>(&PyLong_Type);
                    break;
                case ScalarType::Float:
                    type = reinterpret_cast<PyObject*>(&PyFloat_Type);
                    break;
                case ScalarType::Str:
                    type = reinterpret_cast<PyObject*>(&PyUnicode_Type);
                    break;
            }
        }
    }
    return PyRef::borrow(type);
}

// int(r) and float(r): the built-in applied to r.value.
Expected<PyRef> through_builtin(PyObject* self, const char* builtin) {
    auto natural = value_of(items_of(self));
    if (!natural.ok()) return std::move(natural.error());
    PyRef builtins(PyImport_ImportModule("builtins"));
    if (!builtins) return PendingError::fetch();
    PyRef function(PyObject_GetAttrString(builtins.get(), builtin));
    if (!function) return PendingError::fetch();
    return checked(
        PyRef(PyObject_CallFunctionObjArgs(function.get(), natural.value().get(), nullptr)));
}

}  // namespace

Expected<PyRef> value_of(const PyItems& items) {
    DocumentHold hold;
    return value_of(items, hold);
}

Expected<PyRef> value_of(const PyItems& items, DocumentHold& hold) {
    auto mode = mode_of(items, hold);
    if (!mode.ok()) return std::move(mode.error());
    switch (mode.value()) {
        case ResultMode::Empty:
            return PyRef::borrow(Py_None);
        case ResultMode::ScalarLike:
            return scalar_value(items.front(), hold);
        case ResultMode::DictElement:
            return dict_value(items, hold);
        case ResultMode::Multi:
            break;
    }
    return list_value(items);
}

namespace result_slots {

PyObject* exists(PyObject* self, PyObject*) {
    return PyBool_FromLong(!items_of(self).empty());
}

PyObject* to_int(PyObject* self, PyObject*) {
    return finish(first_number<int_of>(items_of(self)));
}

PyObject* to_float(PyObject* self, PyObject*) {
    return finish(first_number<float_of>(items_of(self)));
}

PyObject* to_ints(PyObject* self, PyObject*) {
    return finish(each_item<item_number<int_of>>(items_of(self)));
}
PyObject* to_floats(PyObject* self, PyObject*) {
    return finish(each_item<item_number<float_of>>(items_of(self)));
}
PyObject* to_strs(PyObject* self, PyObject*) {
    return finish(each_item<item_str>(items_of(self)));
}

PyObject* to_bool(PyObject* self, PyObject*) {
    return finish(to_bool_of(items_of(self)));
}
PyObject* to_str(PyObject* self, PyObject*) {
    return finish(to_str_of(items_of(self)));
}
PyObject* type_(PyObject* self, void*) {
    return finish(type_of(self));
}
PyObject* value(PyObject* self, void*) {
    if (!is_list(self)) return finish(value_of(items_of(self)));
    return finish(list_value(items_of(self)));
}

PyObject* as_int(PyObject* self) {
    auto converted = through_builtin(self, "int");
    if (!converted.ok()) return finish(std::move(converted.error()));
    long long number = PyLong_AsLongLong(converted.value().get());  // OverflowError past 64 bits
    if (number == -1 && PyErr_Occurred()) return nullptr;
    return PyLong_FromLongLong(number);
}

PyObject* as_float(PyObject* self) {
    auto converted = through_builtin(self, "float");
    if (!converted.ok()) return finish(std::move(converted.error()));
    double number = PyFloat_AsDouble(converted.value().get());
    if (number == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(number);
}

}  // namespace result_slots
}  // namespace quorbix::lib
