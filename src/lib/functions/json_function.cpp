// _json_items(result): each match of a Result as JSON text, for the command
// line: a text as a JSON string, an element in the shape of engine/element_json.
#include "engine/element_json.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/result/item.hpp"
#include "lib/result/result.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* parameters[] = {"result"};
constexpr Signature signature{"_json_items()", parameters, 1};

Expected<std::string> item_json(const PyItem& item) {
    std::string json;
    if (!item.is_element()) {
        engine::append_json_string(json, item.scalar());
        return json;
    }
    DocumentHold hold;
    auto element = element_bytes(item, hold);
    if (!element.ok()) return std::move(element.error());
    const DocumentText& text = element.value();
    const xml::Entities* entities = hold.reading(entities_of(item));
    return scan_unlocked(hold, text.bytes.size(),
                         [&] { return engine::element_json(text.bytes, text.encoding, entities); });
}

Expected<PyRef> json_items(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* result;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &result))
        return std::move(*error);
    if (!is_result(result)) return argument_type_error("result", result, "Result");
    const PyItems& items = items_of(result);
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return PendingError::fetch();
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto json = item_json(items[i]);
        if (!json.ok()) return std::move(json.error());
        PyObject* str = PyUnicode_FromStringAndSize(json.value().data(),
                                                    static_cast<Py_ssize_t>(json.value().size()));
        if (str == nullptr) return PendingError::fetch();
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), str);
    }
    return list;
}

}  // namespace

PyMethodDef json_items_function = {"_json_items", method<call_entry<json_items>>(),
                                   METH_FASTCALL | METH_KEYWORDS, "_json_items(result)\n--\n\n"};

}  // namespace quorbix::lib
