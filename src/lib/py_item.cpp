#include "lib/py_item.hpp"

#include "engine/element_text.hpp"
#include "lib/internal_error.hpp"

namespace quorbix::lib {

PyItem PyItem::text(std::string bytes) {
    PyItem item;
    item.scalar = std::move(bytes);
    return item;
}

PyItem PyItem::shared_element(std::string bytes) {
    PyItem item;
    item.kind = Kind::Element;
    item.source = Source::SharedBytes;
    item.shared = std::make_shared<const std::string>(std::move(bytes));
    return item;
}

PyItem PyItem::whole_document(PyObject* document) {
    PyItem item;
    item.kind = Kind::Element;
    item.source = Source::WholeDocument;
    item.document = PyRef::borrow(document);
    return item;
}

PyItem PyItem::document_slice(PyObject* document, std::uint64_t start, std::uint64_t end) {
    PyItem item = whole_document(document);
    item.source = Source::DocumentSlice;
    item.start = start;
    item.end = end;
    return item;
}

PyItem PyItem::clone() const {
    PyItem copy;
    copy.kind = kind;
    copy.source = source;
    copy.scalar = scalar;
    copy.shared = shared;
    copy.document = PyRef::borrow(document.get());
    copy.start = start;
    copy.end = end;
    return copy;
}

PyItems items_from_matches(engine::Matches&& matches, PyObject* document) {
    PyItems items;
    items.reserve(matches.size());
    for (engine::EngineMatch& m : matches) {
        switch (m.kind) {
            case engine::EngineMatch::Kind::ScalarText:
                items.push_back(PyItem::text(std::move(m.bytes)));
                break;
            case engine::EngineMatch::Kind::OwnedElement:
                items.push_back(PyItem::shared_element(std::move(m.bytes)));
                break;
            case engine::EngineMatch::Kind::ElementRange:
                items.push_back(PyItem::document_slice(document, m.start, m.end));
                break;
        }
    }
    return items;
}

Expected<std::string_view> element_bytes(const PyItem& item, BufferView& view) {
    if (item.source == PyItem::Source::SharedBytes) return std::string_view(*item.shared);
    auto whole = read_any_document(item.document.get(), view);
    if (!whole.ok() || item.source == PyItem::Source::WholeDocument) return whole;
    std::string_view bytes = whole.value();
    if (item.start > item.end || item.end > bytes.size())
        return internal_error("DocumentSlice range lies outside its document");
    return bytes.substr(item.start, item.end - item.start);
}

Expected<std::string> item_text(const PyItem& item) {
    if (!item.is_element()) return item.scalar;
    BufferView view;
    auto bytes = element_bytes(item, view);
    if (!bytes.ok()) return std::move(bytes.error());
    return engine::item_text(bytes.value());
}

}  // namespace quorbix::lib
