#include "lib/result/iterators.hpp"

#include <vector>

#include "lib/result/child_scan.hpp"
#include "lib/result/result.hpp"
#include "lib/result/values.hpp"
#include "lib/support/boundary.hpp"
#include "lib/support/heap_object.hpp"

namespace quorbix::lib {
namespace {

// An iterator object: its fields, changed only by `next`, which yields a new
// reference, or null at the end (without an exception) or on an error.
template <class Fields>
struct IterObject {
    PyObject ob_base;
    Fields fields;
};

template <class Fields, PyObject* (*Step)(Fields&)>
PyObject* iter_next(PyObject* self) {
    return Step(reinterpret_cast<IterObject<Fields>*>(self)->fields);
}

PyObject* iter_self(PyObject* self) {
    Py_INCREF(self);
    return self;
}

// Iterators over copies hold no Python references; the item iterator holds
// its parent Result, which breaks the cycles it is part of.
template <class Fields>
constexpr bool holds_references = requires(const Fields& f, visitproc v) {
    visit_references(f, v, nullptr);
};

template <class Object, bool gc>
void* traverse_slot() {
    if constexpr (gc)
        return reinterpret_cast<void*>(traverse_instance<Object>);
    else
        return nullptr;
}

// The class of an iterator: final, not instantiable from Python, and in the
// garbage collector when its fields can lead back to it.
template <class Fields, PyObject* (*Step)(Fields&)>
PyObject* iterator_class(const char* name, const char* doc) {
    using Object = IterObject<Fields>;
    constexpr bool gc = holds_references<Fields>;
    static PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<Object>)},
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_iter, reinterpret_cast<void*>(iter_self)},
        {Py_tp_iternext, slot<iter_next<Fields, Step>>()},
        {gc ? Py_tp_traverse : 0, traverse_slot<Object, gc>()},
        {0, nullptr},
    };
    static PyType_Spec spec = {name, sizeof(Object), 0, class_flags(gc), slots};
    return PyType_FromSpec(&spec);
}

PyObject* raised(PendingError error) {
    error.raise();
    return nullptr;
}

PyObject* released(Expected<PyRef> result) {
    if (!result.ok()) return raised(std::move(result.error()));
    return result.value().release();
}

// ResultCharIter: the text is UTF-8, as every text read out of a document is
// (bytes that do not decode read as U+FFFD), so each step takes one code point.
struct CharFields {
    std::string text;
    std::size_t position = 0;
};

PyObject* next_char(CharFields& f) {
    if (f.position >= f.text.size()) return nullptr;
    auto lead = static_cast<unsigned char>(f.text[f.position]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    PyObject* ch =
        PyUnicode_FromStringAndSize(f.text.data() + f.position, static_cast<Py_ssize_t>(length));
    if (ch != nullptr) f.position += length;
    return ch;
}

struct ItemFields {
    PyRef parent;
    std::size_t cursor = 0;
};

int visit_references(const ItemFields& f, visitproc visit, void* arg) {
    return visit_references(f.parent, visit, arg);
}

PyObject* next_item(ItemFields& f) {
    const PyItems& items = items_of(f.parent.get());  // the count is read at every step
    if (f.cursor >= items.size()) return nullptr;
    return released(single_result(items[f.cursor++]));
}

struct KeyFields {
    std::vector<std::string> names;
    std::size_t cursor = 0;
};

PyObject* next_key(KeyFields& f) {
    if (f.cursor >= f.names.size()) return nullptr;
    return released(checked(new_str(f.names[f.cursor++])));
}

struct ValueFields {
    ChildScan scan;
    std::size_t cursor = 0;
};

PyObject* next_value(ValueFields& f) {
    if (f.cursor >= f.scan.names().size()) return nullptr;
    return released(f.scan.value_of(f.cursor++));
}

struct PairFields {
    ChildScan scan;
    std::size_t cursor = 0;
};

PyObject* pair(PyRef key, Expected<PyRef> value) {
    if (!key) return raised(PendingError::fetch());
    if (!value.ok()) return raised(std::move(value.error()));
    return PyTuple_Pack(2, key.get(), value.value().get());
}

PyObject* next_pair(PairFields& f) {
    if (f.cursor >= f.scan.names().size()) return nullptr;
    std::size_t i = f.cursor++;
    return pair(new_str(f.scan.names()[i]), f.scan.value_of(i));
}

struct ChildFields {
    ChildScan scan;
    std::size_t cursor = 0;
};

PyObject* next_child(ChildFields& f) {
    if (f.cursor >= f.scan.children().size()) return nullptr;
    std::size_t i = f.cursor++;
    return pair(new_str(f.scan.text_of(f.scan.children()[i].name)), f.scan.child_result(i));
}

}  // namespace

// Made under the interpreter lock; plain pointers rather than guarded statics
// (see path_type).
#define QUORBIX_ITERATOR_CLASS(function, Fields, step, name, doc)            \
    PyObject* function() {                                                   \
        static PyObject* type = nullptr;                                     \
        if (type == nullptr) type = iterator_class<Fields, step>(name, doc); \
        return type;                                                         \
    }

QUORBIX_ITERATOR_CLASS(char_iter_type, CharFields, next_char, "quorbix._quorbix.ResultCharIter",
                       "Yields each Unicode code point of a Scalar/TextElement Result one at a\n"
                       "time. The text bytes are materialized once at iter creation; iteration\n"
                       "itself walks UTF-8 code points without further allocation per step.")
QUORBIX_ITERATOR_CLASS(item_iter_type, ItemFields, next_item, "quorbix._quorbix.ResultItemIter",
                       "Yields a single-item `Result` for each entry of a Multi-mode parent.\n"
                       "Holds only a cursor and a reference to the parent Result; each\n"
                       "step clones one `PyItem` (cheap) and wraps it in a fresh `Result`.")
QUORBIX_ITERATOR_CLASS(child_key_iter_type, KeyFields, next_key,
                       "quorbix._quorbix.ResultChildKeyIter",
                       "Yields each unique child tag name of a DictElement-mode Result.")
QUORBIX_ITERATOR_CLASS(
    child_value_iter_type, ValueFields, next_value, "quorbix._quorbix.ResultChildValueIter",
    "Yields a `Result` per unique child tag, containing every direct child with\n"
    "that tag. Bytes for matching children are sliced out of the parent bytes\n"
    "only when each value is produced.")
QUORBIX_ITERATOR_CLASS(child_item_iter_type, PairFields, next_pair,
                       "quorbix._quorbix.ResultChildItemIter",
                       "Yields `(key_str, value_Result)` tuples, one per unique child tag.")
QUORBIX_ITERATOR_CLASS(
    child_iter_type, ChildFields, next_child, "quorbix._quorbix.ResultChildIter",
    "Yields `(name_str, value_Result)` for every direct child element in document\n"
    "order. Unlike `ResultChildItemIter`, repeated tag names are not collapsed:\n"
    "each child element produces its own pair, so the interleaving of differently\n"
    "named siblings is preserved.")

#undef QUORBIX_ITERATOR_CLASS

Expected<PyRef> make_char_iter(std::string text) {
    return new_instance<IterObject<CharFields>>(char_iter_type(), CharFields{std::move(text), 0});
}

Expected<PyRef> make_item_iter(PyObject* parent) {
    return new_instance<IterObject<ItemFields>>(item_iter_type(),
                                                ItemFields{PyRef::borrow(parent)});
}

Expected<PyRef> make_child_key_iter(const PyItems& items) {
    DocumentHold hold;
    return make_child_key_iter(items, hold);
}

Expected<PyRef> make_child_key_iter(const PyItems& items, DocumentHold& hold) {
    auto scan = ChildScan::of(items, false, hold);
    if (!scan.ok()) return std::move(scan.error());
    return new_instance<IterObject<KeyFields>>(child_key_iter_type(),
                                               KeyFields{scan.value().names()});
}

// An iterator that walks its own copy of the element's children.
template <class Fields>
Expected<PyRef> over_children(const PyItems& items, PyObject* type) {
    auto scan = ChildScan::of(items, true);
    if (!scan.ok()) return std::move(scan.error());
    return new_instance<IterObject<Fields>>(type, Fields{std::move(scan.value())});
}

Expected<PyRef> make_child_value_iter(const PyItems& items) {
    return over_children<ValueFields>(items, child_value_iter_type());
}

Expected<PyRef> make_child_item_iter(const PyItems& items) {
    return over_children<PairFields>(items, child_item_iter_type());
}

Expected<PyRef> make_child_iter(const PyItems& items) {
    return over_children<ChildFields>(items, child_iter_type());
}

}  // namespace quorbix::lib
