#include "lib/py_item.hpp"

#include "engine/element_text.hpp"
#include "lib/internal_error.hpp"

namespace quorbix::lib {

PyItem PyItem::text(std::string bytes) {
    PyItem item;
    item.value_ = std::move(bytes);
    return item;
}

PyItem PyItem::shared_element(std::string bytes) {
    PyItem item;
    item.value_ = std::make_shared<const std::string>(std::move(bytes));
    return item;
}

PyItem PyItem::whole_document(PyObject* document) {
    PyItem item;
    item.value_ = DocumentRef{PyRef::borrow(document), 0, 0, true};
    return item;
}

PyItem PyItem::document_slice(PyObject* document, std::uint64_t start, std::uint64_t end) {
    PyItem item;
    item.value_ = DocumentRef{PyRef::borrow(document), start, end, false};
    return item;
}

PyItem::Source PyItem::source() const {
    if (const auto* ref = std::get_if<DocumentRef>(&value_))
        return ref->whole ? Source::WholeDocument : Source::DocumentSlice;
    return Source::SharedBytes;
}

PyItem PyItem::clone() const {
    PyItem copy;
    if (const auto* ref = std::get_if<DocumentRef>(&value_))
        copy.value_ =
            DocumentRef{PyRef::borrow(ref->document.get()), ref->start, ref->end, ref->whole};
    else if (const auto* shared = std::get_if<std::shared_ptr<const std::string>>(&value_))
        copy.value_ = *shared;
    else
        copy.value_ = std::get<std::string>(value_);
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
    if (const auto* shared = std::get_if<std::shared_ptr<const std::string>>(&item.value_))
        return std::string_view(**shared);
    const auto& ref = std::get<PyItem::DocumentRef>(item.value_);
    auto whole = read_any_document(ref.document.get(), view);
    if (!whole.ok() || ref.whole) return whole;
    std::string_view bytes = whole.value();
    if (ref.start > ref.end || ref.end > bytes.size())
        return internal_error("DocumentSlice range lies outside its document");
    return bytes.substr(ref.start, ref.end - ref.start);
}

Expected<std::string> item_text(const PyItem& item) {
    if (!item.is_element()) return item.scalar();
    BufferView view;
    auto bytes = element_bytes(item, view);
    if (!bytes.ok()) return std::move(bytes.error());
    return engine::item_text(bytes.value());
}

}  // namespace quorbix::lib
