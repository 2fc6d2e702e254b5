// The six iterators a Result hands out: over the code points of a text, the
// items of a Multi Result, and the children of a DictElement (keys, values,
// key-value pairs, and every child in document order).
#pragma once

#include <Python.h>

#include <string>

#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"

namespace quorbix::lib {

// The class objects, created on first use.
PyObject* char_iter_type();
PyObject* item_iter_type();
PyObject* child_key_iter_type();
PyObject* child_value_iter_type();
PyObject* child_item_iter_type();
PyObject* child_iter_type();

// New iterators. The child iterators read the Result's element now and keep
// their own copy of its bytes.
Expected<PyRef> make_char_iter(std::string text);
Expected<PyRef> make_item_iter(PyObject* parent);
Expected<PyRef> make_child_key_iter(const PyItems& items);
Expected<PyRef> make_child_key_iter(const PyItems& items, DocumentHold& hold);
Expected<PyRef> make_child_value_iter(const PyItems& items);
Expected<PyRef> make_child_item_iter(const PyItems& items);
Expected<PyRef> make_child_iter(const PyItems& items);

}  // namespace quorbix::lib
