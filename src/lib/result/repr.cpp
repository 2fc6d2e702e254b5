// How a Result shows itself, and how it compares with Results, lists of
// strings and strings.
#include <string>
#include <vector>

#include "engine/element_text.hpp"
#include "lib/result/child_scan.hpp"
#include "lib/result/result.hpp"
#include "lib/result/slots.hpp"
#include "lib/result/values.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::lib {
namespace {

// The first two entries joined by ", ", then ", ..." when there were more.
std::string shortened(const std::vector<std::string>& shown, std::size_t total) {
    std::string out;
    for (std::size_t i = 0; i < shown.size(); ++i) out += (i > 0 ? ", " : "") + shown[i];
    if (total > 2) out += ", ...";
    return out;
}

Expected<std::string> utf8_of(PyObject* str) {
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(str, &length);
    if (utf8 == nullptr) return PendingError::fetch();
    return std::string(utf8, static_cast<std::size_t>(length));
}

Expected<std::string> repr_of(const PyItems& items);

Expected<std::string> dict_repr(const PyItems& items, DocumentHold& hold) {
    auto scan = ChildScan::of_element(items.front(), false, hold);
    if (!scan.ok()) return std::move(scan.error());
    const auto& names = scan.value().names();
    std::vector<std::string> shown(names.begin(),
                                   names.begin() + std::min<std::size_t>(names.size(), 2));
    return "<Result type=dict, keys=[" + shortened(shown, names.size()) + "]>";
}

// A list shows its first two entries, or all it has when fewer.
Expected<std::string> list_repr(const PyItems& items) {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < std::min<std::size_t>(items.size(), 2); ++i) {
        PyItems one;
        one.push_back(items[i].clone());
        auto text = repr_of(one);
        if (!text.ok()) return std::move(text.error());
        shown.push_back(std::move(text.value()));
    }
    return "<Result type=list, value=[" + shortened(shown, items.size()) + "]>";
}

Expected<std::string> repr_of(const PyItems& items) {
    DocumentHold hold;
    auto mode = mode_of(items, hold);
    if (!mode.ok()) return std::move(mode.error());
    if (mode.value() == ResultMode::DictElement) return dict_repr(items, hold);
    if (mode.value() == ResultMode::Multi) return list_repr(items);
    auto natural = value_of(items, hold);
    if (!natural.ok()) return std::move(natural.error());
    PyRef shown(PyObject_Str(natural.value().get()));
    if (!shown) return PendingError::fetch();
    return utf8_of(shown.get());
}

// Every item's text, each taken at once, so that one hold serves them all
// (and both sides of a comparison: `r == r` reads its document once).
Expected<std::vector<std::string>> texts_of(const PyItems& items, DocumentHold& hold) {
    std::vector<std::string> texts;
    for (const PyItem& item : items) {
        auto text = item_text(item, hold);
        if (!text.ok()) return std::move(text.error());
        texts.push_back(std::move(text.value()).take());
    }
    return texts;
}

Expected<bool> equals_result(const PyItems& items, PyObject* other) {
    DocumentHold hold;
    auto mine = texts_of(items, hold);
    if (!mine.ok()) return std::move(mine.error());
    auto theirs = texts_of(items_of(other), hold);
    if (!theirs.ok()) return std::move(theirs.error());
    return mine.value() == theirs.value();
}

Expected<bool> equals_list(const PyItems& items, PyObject* list) {
    std::vector<std::string> strings;
    Py_ssize_t n = PyList_Size(list);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* entry = PyList_GetItem(list, i);
        if (!PyUnicode_Check(entry)) return false;
        auto text = utf8_of(entry);
        if (!text.ok()) {
            PyErr_Clear();  // a str without a UTF-8 form equals no text
            return false;
        }
        strings.push_back(std::move(text.value()));
    }
    DocumentHold hold;
    auto mine = texts_of(items, hold);
    if (!mine.ok()) return std::move(mine.error());
    return mine.value() == strings;
}

Expected<bool> equals_str(const PyItems& items, PyObject* str) {
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(str, &length);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return false;
    }
    if (items.empty()) return false;
    DocumentHold hold;
    auto text = item_text(items.front(), hold);
    if (!text.ok()) return std::move(text.error());
    return text.value().view() == std::string_view(utf8, static_cast<std::size_t>(length));
}

Expected<bool> equals(PyObject* self, PyObject* other) {
    const PyItems& items = items_of(self);
    if (is_result(other)) return equals_result(items, other);
    if (PyList_Check(other)) return equals_list(items, other);
    if (PyUnicode_Check(other)) return equals_str(items, other);
    return false;
}

}  // namespace

namespace result_slots {

PyObject* repr(PyObject* self) {
    auto text = is_list(self) ? list_repr(items_of(self)) : repr_of(items_of(self));
    if (!text.ok()) return finish(std::move(text.error()));
    return finish(checked(new_str(text.value())));
}

PyObject* richcompare(PyObject* self, PyObject* other, int op) {
    if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
    auto equal = equals(self, other);
    if (!equal.ok()) return finish(std::move(equal.error()));
    return PyBool_FromLong(equal.value() == (op == Py_EQ));
}

}  // namespace result_slots
}  // namespace quorbix::lib
