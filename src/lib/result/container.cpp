// Result as a Python container: len, truth, subscription, iteration, and the
// nested queries get and get_many.
#include <string>

#include "engine/evaluator.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/many_paths.hpp"
#include "lib/functions/single_path.hpp"
#include "lib/result/child_scan.hpp"
#include "lib/result/iterators.hpp"
#include "lib/result/result.hpp"
#include "lib/result/slots.hpp"
#include "lib/result/values.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* out_of_range = "Result index out of range";

PendingError key_error(PyObject* key) {
    PyErr_SetObject(PyExc_KeyError, key);
    return PendingError::fetch();
}

// A ScalarLike item's text as a str of code points (the standard ValueError
// for text that is not UTF-8).
Expected<PyRef> scalar_str(const PyItem& item, DocumentHold& hold) {
    auto text = item_text(item, hold);
    if (!text.ok()) return std::move(text.error());
    return checked(new_str(text.value().view()));
}

Expected<PyRef> scalar_index(const PyItem& item, long long i, DocumentHold& hold) {
    auto text = scalar_str(item, hold);
    if (!text.ok()) return text;
    Py_ssize_t count = PyUnicode_GetLength(text.value().get());
    if (i < 0) i += count;
    if (i < 0 || i >= count) return PendingError(PyExc_IndexError, out_of_range);
    return checked(PyRef(PyUnicode_Substring(text.value().get(), static_cast<Py_ssize_t>(i),
                                             static_cast<Py_ssize_t>(i) + 1)));
}

Expected<PyRef> scalar_slice(const PyItem& item, PyObject* slice, DocumentHold& hold) {
    auto text = scalar_str(item, hold);
    if (!text.ok()) return text;
    return checked(PyRef(PyObject_GetItem(text.value().get(), slice)));  // the str's own slicing
}

Expected<PyRef> multi_index(const PyItems& items, long long i) {
    auto count = static_cast<long long>(items.size());
    if (i < 0) i += count;
    if (i < 0 || i >= count) return PendingError(PyExc_IndexError, out_of_range);
    PyItems one;
    one.push_back(items[static_cast<std::size_t>(i)].clone());
    return make_result(std::move(one));
}

Expected<PyRef> multi_slice(const PyItems& items, PyObject* slice) {
    Py_ssize_t start = 0, stop = 0, step = 0;
    if (PySlice_Unpack(slice, &start, &stop, &step) < 0) return PendingError::fetch();
    Py_ssize_t count =
        PySlice_AdjustIndices(static_cast<Py_ssize_t>(items.size()), &start, &stop, step);
    PyItems picked;
    for (Py_ssize_t k = 0, i = start; k < count; ++k, i += step)
        picked.push_back(items[static_cast<std::size_t>(i)].clone());
    return make_result(std::move(picked));
}

// r['name']: every direct child of that name, compared as text.
Expected<PyRef> child_key(PyObject* self, PyObject* key, DocumentHold& hold) {
    auto name = read_str_document(key);
    if (!name.ok()) return std::move(name.error());
    auto children_of = result_children(self, hold);
    if (!children_of.ok()) return std::move(children_of.error());
    PyItems children = children_of.value().scan().children_named(name.value());
    if (children.empty()) return key_error(key);
    return make_result(std::move(children));
}

Expected<PyRef> subscript(PyObject* self, PyObject* key) {
    const PyItems& items = items_of(self);
    enum class Key { String, Slice, Integer } kind = Key::Integer;
    long long index = 0;
    if (PyUnicode_Check(key)) {
        kind = Key::String;
    } else if (Py_TYPE(key) == &PySlice_Type) {
        kind = Key::Slice;
    } else {
        index = PyLong_AsLongLong(key);
        if (index == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            return PendingError(PyExc_TypeError,
                                "Result indices must be integers, slices, or strings");
        }
    }
    DocumentHold hold;
    // Children kept from an earlier lookup: a DictElement whose bytes cannot
    // change, so its mode is known.
    if (kind == Key::String && has_kept_children(self)) return child_key(self, key, hold);
    auto mode = result_mode(self, hold);
    if (!mode.ok()) return std::move(mode.error());
    if (kind == Key::String && mode.value() != ResultMode::DictElement)
        return PendingError(PyExc_TypeError,
                            std::string("string keys are only valid on dict-like Result; this "
                                        "Result is ") +
                                mode_name(mode.value()));
    switch (mode.value()) {
        case ResultMode::Empty:
            if (kind == Key::Slice) return make_result({});
            return PendingError(PyExc_IndexError, out_of_range);
        case ResultMode::ScalarLike:
            if (kind == Key::Slice) return scalar_slice(items.front(), key, hold);
            return scalar_index(items.front(), index, hold);
        case ResultMode::Multi:
            if (kind == Key::Slice) return multi_slice(items, key);
            return multi_index(items, index);
        case ResultMode::DictElement:
            break;
    }
    if (kind == Key::String) return child_key(self, key, hold);
    if (kind == Key::Slice)
        return PendingError(PyExc_KeyError, "slice keys are not supported on dict-like Result");
    PyRef number(PyLong_FromLongLong(index));
    if (!number) return PendingError::fetch();
    return key_error(number.get());
}

Expected<PyRef> iterate(PyObject* self) {
    const PyItems& items = items_of(self);
    DocumentHold hold;
    auto mode = result_mode(self, hold);
    if (!mode.ok()) return std::move(mode.error());
    switch (mode.value()) {
        case ResultMode::Empty: {
            PyRef empty(PyList_New(0));
            if (!empty) return PendingError::fetch();
            return checked(PyRef(PyObject_GetIter(empty.get())));
        }
        case ResultMode::ScalarLike: {
            auto text = item_text(items.front(), hold);
            if (!text.ok()) return std::move(text.error());
            return make_char_iter(std::move(text.value()).take());
        }
        case ResultMode::DictElement:
            return make_child_key_iter(items, hold);
        case ResultMode::Multi:
            break;
    }
    return make_item_iter(self);
}

Expected<PyRef> ambiguous_or(Expected<engine::EvalOutcome> scanned, xml::Encoding encoding,
                             const path::CompiledPath& path, const engine::MatchScopes& scopes) {
    if (!scanned.ok()) return std::move(scanned.error());
    engine::EvalOutcome& outcome = scanned.value();
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return make_answer(items_from_matches(std::move(std::get<engine::Matches>(outcome)), nullptr,
                                          encoding, &scopes),
                       path);
}

// The declarations a query by namespace relative to `item` reads its names
// in, beside those its bytes hold; nothing for a query that tests none.
Expected<std::string> scope_of(const PyItem& item, bool namespaced) {
    if (!namespaced) return std::string();
    DocumentHold hold;
    return declarations_around(item, hold);
}

// A query relative to the Result's single element, or over the whole
// document for a Result made by parse; every match is copied out.
Expected<PyRef> nested_get(const PyItems& items, const path::CompiledPath& path) {
    if (items.empty() || !items.front().is_element()) return make_answer({}, path);
    const PyItem& item = items.front();
    auto declarations = scope_of(item, path.namespaced);
    if (!declarations.ok()) return std::move(declarations.error());
    DocumentHold hold;
    auto element = element_bytes(item, hold);
    if (!element.ok()) return std::move(element.error());
    const DocumentText& text = element.value();
    bool whole = item.source() == PyItem::Source::WholeDocument;
    engine::MatchScopes scopes;
    // Taken while the interpreter's lock is held; read with a budget of their own.
    auto entities = xml::Entities::reading(entities_of(item));
    return ambiguous_or(
        scan_unlocked(hold, text.bytes.size(),
                      [&] {
                          return whole ? engine::evaluate_path(text.bytes, text.encoding, path,
                                                               false, nullptr, &scopes)
                                       : engine::evaluate_path_in_element(
                                             text.bytes, text.encoding, path, declarations.value(),
                                             &scopes, entities);
                      }),
        text.encoding, path, scopes);
}

constexpr const char* path_only[] = {"path", "namespaces"};
constexpr const char* paths_only[] = {"paths", "namespaces"};

Expected<PyRef> get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"Result.get()", path_only, 2, 1};
    PyObject* bound[2];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    auto text = str_argument(bound[0], "path");
    if (!text.ok()) return std::move(text.error());
    auto namespaces = namespaces_argument(bound[1]);
    if (!namespaces.ok()) return std::move(namespaces.error());
    const auto& mapping = namespaces.value();
    const PyItems& items = items_of(self);
    if (items.size() > 1 || is_list(self))
        return PendingError(PyExc_ValueError,
                            "Result.get(path) is not supported on a multi-element Result; "
                            "iterate the Result or pick an index first");
    if (text.value().empty()) return make_result({});
    auto compiled = compile_text(text.value(), mapping ? &*mapping : nullptr);
    if (!compiled.ok()) return std::move(compiled.error());
    return nested_get(items, *compiled.value());
}

Expected<PyRef> get_many(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    static constexpr Signature signature{"Result.get_many()", paths_only, 2, 1};
    PyObject* bound[2];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    PyObject* paths = bound[0];
    if (!PyList_Check(paths)) return argument_type_error("paths", paths, "list");
    auto namespaces = namespaces_argument(bound[1]);
    if (!namespaces.ok()) return std::move(namespaces.error());
    const auto& mapping = namespaces.value();
    const PyItems& items = items_of(self);
    if (items.size() > 1 || is_list(self))
        return PendingError(PyExc_ValueError,
                            "Result.get_many(paths) is not supported on a multi-element Result; "
                            "iterate the Result or pick an index first");
    auto entries = path_entries(paths, mapping ? &*mapping : nullptr);
    if (!entries.ok()) return std::move(entries.error());
    auto compiled = compiled_of(entries.value());
    if (compiled.empty() || items.empty() || !items.front().is_element())
        return results_of(entries.value(), std::vector<engine::Matches>(compiled.size()), nullptr,
                          xml::Encoding::Utf8, nullptr);
    const PyItem& item = items.front();
    bool namespaced = false;
    for (const path::CompiledPath* p : compiled) namespaced = namespaced || p->namespaced;
    auto declarations = scope_of(item, namespaced);
    if (!declarations.ok()) return std::move(declarations.error());
    DocumentHold hold;
    auto element = element_bytes(item, hold);
    if (!element.ok()) return std::move(element.error());
    const DocumentText& text = element.value();
    bool whole = item.source() == PyItem::Source::WholeDocument;
    engine::MatchScopes scopes;
    // Taken while the interpreter's lock is held; read with a budget of their own.
    auto entities = xml::Entities::reading(entities_of(item));
    auto scanned = scan_unlocked(hold, text.bytes.size(), [&] {
        return whole ? engine::evaluate_paths(text.bytes, text.encoding, compiled, false, nullptr,
                                              &scopes)
                     : engine::evaluate_paths_in_element(text.bytes, text.encoding, compiled,
                                                         declarations.value(), &scopes, entities);
    });
    if (!scanned.ok()) return std::move(scanned.error());
    engine::MultiOutcome& outcome = scanned.value();
    if (auto* ambiguous = std::get_if<engine::AmbiguousPath>(&outcome))
        return ambiguous_path_error(*ambiguous);
    return results_of(entries.value(), std::move(std::get<std::vector<engine::Matches>>(outcome)),
                      nullptr, text.encoding, &scopes);
}

}  // namespace

namespace result_slots {

Py_ssize_t length(PyObject* self) {
    return static_cast<Py_ssize_t>(items_of(self).size());
}

int truth(PyObject* self) {
    // A list is true when it holds anything, like the list its value is.
    if (is_list(self)) return !items_of(self).empty();
    auto natural = value_of(items_of(self));
    if (!natural.ok()) {
        natural.error().raise();
        return -1;
    }
    return PyObject_IsTrue(natural.value().get());
}

PyObject* item(PyObject* self, PyObject* key) {
    return finish(subscript(self, key));
}

PyObject* iter(PyObject* self) {
    return finish(iterate(self));
}

PyObject* nested_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return finish(get(self, args, nargs, kwnames));
}

PyObject* nested_get_many(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    return finish(get_many(self, args, nargs, kwnames));
}

}  // namespace result_slots
}  // namespace quorbix::lib
