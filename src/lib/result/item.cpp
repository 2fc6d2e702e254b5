#include "lib/result/item.hpp"

#include <algorithm>
#include <optional>

#include "engine/element_text.hpp"
#include "engine/reads/declarations_around.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/support/entities_capsule.hpp"
#include "lib/support/internal_error.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"

namespace quorbix::lib {

// A Result of millions of items holds millions of these: every byte counts.
static_assert(sizeof(PyItem) <= 40);

namespace {

// The document a reference reads, and what is in scope around its element:
// the declarations, None where its scan kept none (a walk of the document
// finds them), and the entities, held in a capsule.
PyObject* document_of(PyObject* referred) {
    return PyTuple_Check(referred) ? PyTuple_GetItem(referred, 0) : referred;
}
std::optional<std::string_view> declarations_of(PyObject* context) {
    PyObject* declarations = PyTuple_GetItem(context, 1);
    if (declarations == nullptr || !PyBytes_Check(declarations)) return std::nullopt;
    return std::string_view{PyBytes_AsString(declarations),
                            static_cast<std::size_t>(PyBytes_Size(declarations))};
}

// Those of a context, held by it; null when it holds none.
const SharedEntities* entities_in(PyObject* context) {
    return entities_held(PyTuple_GetItem(context, 2));
}

}  // namespace

PyItem PyItem::text(std::string bytes) {
    PyItem item;
    item.value_ = std::move(bytes);
    return item;
}

PyItem PyItem::shared_element(std::string bytes, xml::Encoding encoding,
                              std::shared_ptr<const std::string> scope,
                              std::shared_ptr<const xml::Entities> entities) {
    PyItem item;
    item.value_ = SharedRef{std::make_shared<const SharedElement>(SharedElement{
                                std::move(bytes), std::move(scope), std::move(entities)}),
                            encoding};
    return item;
}

PyItem PyItem::whole_document(PyObject* document) {
    PyItem item;
    item.value_ = DocumentRef{PyRef::borrow(document), 0, 0, true, xml::Encoding::Utf8};
    return item;
}

PyItem PyItem::document_slice(PyObject* document, std::uint64_t start, std::uint64_t end,
                              xml::Encoding encoding) {
    PyItem item;
    item.value_ = DocumentRef{PyRef::borrow(document), start, end, false, encoding};
    return item;
}

PyItem PyItem::document_leaf(PyObject* document, std::uint64_t start, std::uint64_t end,
                             std::uint16_t text_offset, std::uint32_t text_length,
                             xml::Encoding encoding) {
    PyItem item = document_slice(document, start, end, encoding);
    auto& ref = std::get<DocumentRef>(item.value_);
    ref.leaf_offset = text_offset;
    ref.leaf_length = text_length;
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
        copy.value_ = DocumentRef{PyRef::borrow(ref->document.get()),
                                  ref->start,
                                  ref->end,
                                  ref->whole,
                                  ref->encoding,
                                  ref->leaf_offset,
                                  ref->leaf_length};
    else if (const auto* shared = std::get_if<SharedRef>(&value_))
        copy.value_ = *shared;
    else
        copy.value_ = std::get<std::string>(value_);
    return copy;
}

int visit_references(const PyItems& items, visitproc visit, void* arg) {
    for (const PyItem& item : items) Py_VISIT(item.document());
    return 0;
}

bool may_be_in_cycles(const PyItems& items) {
    PyObject* seen = nullptr;  // the items of a Result mostly share one document
    for (const PyItem& item : items) {
        PyObject* referred = item.document();
        if (referred == nullptr || referred == seen) continue;
        PyObject* document = document_of(referred);
        if (!PyBytes_CheckExact(document) && !PyUnicode_CheckExact(document)) return true;
        seen = referred;
    }
    return false;
}

void drop_references(PyItems& items) {
    PyItems dropped;
    dropped.swap(items);  // the Result is empty before any document goes
}

namespace {

// A match as an item; an element refers to `document` (a slice of it in
// range mode), or to the pair of it and the declarations around it.
PyItem item_of(engine::EngineMatch& m, PyObject* document, xml::Encoding encoding) {
    switch (m.kind) {
        case engine::EngineMatch::Kind::ScalarText:
            return PyItem::text(std::move(m.bytes));
        case engine::EngineMatch::Kind::OwnedElement:
            return PyItem::shared_element(std::move(m.bytes), encoding);
        case engine::EngineMatch::Kind::ElementRange:
            break;
    }
    return m.has_leaf_text() ? PyItem::document_leaf(document, m.start, m.end, m.leaf_text_offset,
                                                     m.leaf_text_length, encoding)
                             : PyItem::document_slice(document, m.start, m.end, encoding);
}

// The context the slices of one scope refer to: (document, declarations,
// entities); null, with the exception set, when it cannot be made.
PyRef context_of(PyObject* document, const std::string* scope, PyObject* entities) {
    PyRef text = scope != nullptr ? PyRef(PyBytes_FromStringAndSize(
                                        scope->data(), static_cast<Py_ssize_t>(scope->size())))
                                  : PyRef::borrow(Py_None);
    if (!text) return text;
    return PyRef(PyTuple_Pack(3, document, text.get(), entities));
}

// The items of a scan that kept what is in scope around its element
// matches: declarations, entities or both.
PyItems scoped_items(engine::Matches&& matches, PyObject* document, xml::Encoding encoding,
                     const engine::MatchScopes& scopes) {
    PyItems items;
    items.reserve(matches.size());
    const SharedEntities& entities = scopes.entities();
    PyRef entities_held = document != nullptr ? entities_object(entities) : PyRef();
    if (document != nullptr && !entities_held) PyErr_Clear();  // out of memory: slices are copied
    // The context the slices of one scope refer to, made once for them all.
    const std::string* in_context = nullptr;
    PyRef context;
    for (engine::EngineMatch& m : matches) {
        std::shared_ptr<const std::string> scope;
        if (m.kind != engine::EngineMatch::Kind::ScalarText) scope = scopes.of(m.start);
        if (m.kind == engine::EngineMatch::Kind::ScalarText || (!scope && !entities)) {
            items.push_back(item_of(m, document, encoding));
        } else if (m.kind == engine::EngineMatch::Kind::OwnedElement) {
            items.push_back(
                PyItem::shared_element(std::move(m.bytes), encoding, std::move(scope), entities));
        } else {
            if (!context || scope.get() != in_context) {
                context = entities_held ? context_of(document, scope.get(), entities_held.get())
                                        : PyRef();
                in_context = scope.get();
            }
            if (context) {
                items.push_back(item_of(m, context.get(), encoding));
                continue;
            }
            PyErr_Clear();      // out of memory: the slice is copied with its context
            BufferView unused;  // a range is made only over bytes and str
            auto whole = read_any_document(document, unused);
            std::string bytes;
            if (whole.ok()) bytes = whole.value().substr(m.start, m.end - m.start);
            items.push_back(
                PyItem::shared_element(std::move(bytes), encoding, std::move(scope), entities));
        }
    }
    return items;
}

}  // namespace

PyItems items_from_matches(engine::Matches&& matches, PyObject* document, xml::Encoding encoding,
                           const engine::MatchScopes* scopes) {
    if (scopes != nullptr && (!scopes->empty() || scopes->entities())) [[unlikely]]
        return scoped_items(std::move(matches), document, encoding, *scopes);
    PyItems items;
    items.reserve(matches.size());
    for (engine::EngineMatch& m : matches) items.push_back(item_of(m, document, encoding));
    return items;
}

Expected<DocumentText> element_bytes(const PyItem& item, DocumentHold& hold) {
    if (const auto* shared = std::get_if<PyItem::SharedRef>(&item.value_))
        return DocumentText{shared->element->bytes, shared->encoding, false};
    const auto& ref = std::get<PyItem::DocumentRef>(item.value_);
    if (ref.whole) {
        // A buffer may change between two reads: the operation keeps its first.
        if (hold.read == ref.document.get()) return hold.text;
        hold.read = nullptr;  // what it held goes with the view read now
        auto text = read_any_text(ref.document.get(), hold);
        if (text.ok()) {
            hold.read = ref.document.get();
            hold.text = text.value();
        }
        return text;
    }
    // Slices are made only over bytes and str documents that are not UTF-16.
    auto whole = read_any_document(document_of(ref.document.get()), hold.view);
    if (!whole.ok()) return std::move(whole.error());
    std::string_view bytes = whole.value();
    if (ref.start > ref.end || ref.end > bytes.size())
        return internal_error("DocumentSlice range lies outside its document");
    return DocumentText{bytes.substr(ref.start, ref.end - ref.start), ref.encoding, false};
}

std::shared_ptr<const xml::Entities> entities_of(const PyItem& item) {
    if (const auto* shared = std::get_if<PyItem::SharedRef>(&item.value_))
        return shared->element->entities;
    const auto* ref = std::get_if<PyItem::DocumentRef>(&item.value_);
    if (ref == nullptr || !PyTuple_Check(ref->document.get())) return nullptr;
    const SharedEntities* held = entities_in(ref->document.get());
    return held != nullptr ? *held : nullptr;
}

Expected<std::string> declarations_around(const PyItem& item, DocumentHold& hold) {
    if (const auto* shared = std::get_if<PyItem::SharedRef>(&item.value_))
        return shared->element->scope ? *shared->element->scope : std::string();
    const auto* ref = std::get_if<PyItem::DocumentRef>(&item.value_);
    if (ref == nullptr || ref->whole) return std::string();
    PyObject* referred = ref->document.get();
    if (PyTuple_Check(referred))
        if (auto kept = declarations_of(referred)) return std::string(*kept);
    auto whole = read_any_document(document_of(referred), hold.view);
    if (!whole.ok()) return std::move(whole.error());
    return scan_unlocked(hold, ref->start, [&] {
        return engine::declarations_around(whole.value(), ref->start, ref->encoding);
    });
}

void ItemText::trim() {
    std::string_view trimmed = text::trim_white_space(view());
    begin_ += static_cast<std::size_t>(trimmed.data() - view().data());
    size_ = trimmed.size();
}

Expected<std::string_view> item_text(const PyItem& item, DocumentHold& hold, std::string& scratch) {
    if (!item.is_element()) return std::string_view(item.scalar());
    scratch.clear();
    if (item.is_leaf()) {  // its text is where the scan found it: no tag is read again
        const auto& ref = std::get<PyItem::DocumentRef>(item.value_);
        PyObject* referred = ref.document.get();
        const bool in_context = PyTuple_Check(referred);
        auto document =
            read_any_document(in_context ? PyTuple_GetItem(referred, 0) : referred, hold.view);
        if (!document.ok()) return std::move(document.error());
        std::uint64_t begin = ref.start + ref.leaf_offset;
        if (begin + ref.leaf_length > std::min<std::uint64_t>(ref.end, document.value().size()))
            return internal_error("a leaf's text lies outside its document");
        xml::append_character_data(document.value().substr(begin, ref.leaf_length), ref.encoding,
                                   scratch, in_context ? hold.reading(entities_of(item)) : nullptr);
        return std::string_view(scratch);
    }
    auto element = element_bytes(item, hold);
    if (!element.ok()) return std::move(element.error());
    const DocumentText& text = element.value();
    const xml::Entities* entities = hold.reading(entities_of(item));
    auto read = scan_unlocked(hold, text.bytes.size(), [&] {
        return engine::item_text(text.bytes, text.encoding, entities);
    });
    if (!read.ok()) return std::move(read.error());
    scratch = std::move(read.value());
    return std::string_view(scratch);
}

Expected<ItemText> item_text(const PyItem& item, DocumentHold& hold) {
    std::string scratch;
    auto text = item_text(item, hold, scratch);
    if (!text.ok()) return std::move(text.error());
    if (!item.is_element()) return ItemText::borrowed(text.value());
    return ItemText::owned(std::move(scratch));
}

}  // namespace quorbix::lib
