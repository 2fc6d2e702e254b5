// One matched item of a Result: a text, or an element whose bytes live in a
// shared buffer, in the whole of a document object, or in a slice of one.
#pragma once

#include <Python.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/engine_match.hpp"
#include "engine/match_scopes.hpp"
#include "lib/document/document.hpp"
#include "lib/support/pending_error.hpp"
#include "lib/support/py_ref.hpp"

namespace quorbix::lib {

class PyItem {
  public:
    enum class Kind : std::uint8_t { Scalar, Element };
    enum class Source : std::uint8_t { SharedBytes, WholeDocument, DocumentSlice };

    // An element carries the encoding of its document's text, so that every
    // later read of its bytes decodes as the scan did.
    static PyItem text(std::string bytes);
    // `scope`, when given: the namespace declarations in scope where the
    // element was found; `entities`, those its document declares.
    static PyItem shared_element(std::string bytes, xml::Encoding encoding,
                                 std::shared_ptr<const std::string> scope = nullptr,
                                 std::shared_ptr<const xml::Entities> entities = nullptr);
    static PyItem whole_document(PyObject* document);
    static PyItem document_slice(PyObject* document, std::uint64_t start, std::uint64_t end,
                                 xml::Encoding encoding);
    // A slice the scan found to hold nothing but text between its tags: that
    // text lies `text_length` bytes long, `text_offset` bytes past `start`.
    static PyItem document_leaf(PyObject* document, std::uint64_t start, std::uint64_t end,
                                std::uint16_t text_offset, std::uint32_t text_length,
                                xml::Encoding encoding);

    PyItem clone() const;
    Kind kind() const { return value_.index() == 0 ? Kind::Scalar : Kind::Element; }
    bool is_element() const { return kind() == Kind::Element; }
    // An element the scan found to hold nothing but text between its tags.
    bool is_leaf() const {
        const auto* ref = std::get_if<DocumentRef>(&value_);
        return ref != nullptr && ref->leaf_length != no_leaf;
    }
    Source source() const;
    // A Scalar's text.
    const std::string& scalar() const { return std::get<std::string>(value_); }
    // The document object the item refers to (borrowed), or null.
    PyObject* document() const {
        const auto* ref = std::get_if<DocumentRef>(&value_);
        return ref != nullptr ? ref->document.get() : nullptr;
    }

  private:
    friend Expected<DocumentText> element_bytes(const PyItem& item, DocumentHold& hold);
    friend Expected<std::string> declarations_around(const PyItem& item, DocumentHold& hold);
    friend std::shared_ptr<const xml::Entities> entities_of(const PyItem& item);
    friend Expected<std::string_view> item_text(const PyItem& item, DocumentHold& hold,
                                                std::string& scratch);

    static constexpr std::uint32_t no_leaf = engine::EngineMatch::no_leaf_text;

    // A strong reference to a document object, and the element's place in it.
    // An element found in the scope of namespace declarations, or in a
    // document that declares entities, refers to its context instead: a
    // tuple (the document, the declarations as bytes, the entities in a
    // capsule or None), which the elements of one scope share.
    struct DocumentRef {
        PyRef document;
        std::uint64_t start = 0, end = 0;  // DocumentSlice: [start, end) of the document
        bool whole = false;                // WholeDocument: all of it, read as its start says
        xml::Encoding encoding = xml::Encoding::Utf8;  // DocumentSlice
        // A leaf's text, as the scan found it (no_leaf when not a leaf), so
        // that its text is read without reading its tags again.
        std::uint16_t leaf_offset = 0;
        std::uint32_t leaf_length = no_leaf;
    };
    // The bytes of a SharedBytes element, the declarations in scope around
    // it and the entities of its document, shared with an atomic count.
    struct SharedElement {
        std::string bytes;
        std::shared_ptr<const std::string> scope;
        std::shared_ptr<const xml::Entities> entities;
    };
    struct SharedRef {
        std::shared_ptr<const SharedElement> element;
        xml::Encoding encoding = xml::Encoding::Utf8;
    };
    // Scalar text; SharedBytes; or a document reference.
    std::variant<std::string, SharedRef, DocumentRef> value_;
};

using PyItems = std::vector<PyItem>;

// What the garbage collector sees of items: the documents they refer to.
int visit_references(const PyItems& items, visitproc visit, void* arg);
// Whether items can lead to a reference cycle: only through a document that
// can hold references (a buffer, an instance of a subclass).
bool may_be_in_cycles(const PyItems& items);
// Drops every item (and with them their documents), breaking a cycle.
void drop_references(PyItems& items);

// Engine matches as items; ranges become slices of `document` (range mode).
// Elements carry `encoding`, the encoding the scan read the document in, and
// what `scopes` kept around them: the namespace declarations and the
// document's entities.
PyItems items_from_matches(engine::Matches&& matches, PyObject* document, xml::Encoding encoding,
                           const engine::MatchScopes* scopes = nullptr);

// The element's bytes and their encoding, valid while `hold` is held; a
// ValueError when the document object can no longer be read.
Expected<DocumentText> element_bytes(const PyItem& item, DocumentHold& hold);

// The general entities the document of an element declares, as its scan
// found them; null when none (or for a whole document, whose reads find its
// DOCTYPE themselves).
std::shared_ptr<const xml::Entities> entities_of(const PyItem& item);

// The namespace declarations in scope around an element: those its scan
// kept, or, for a slice of a document found by a scan that kept none, those
// a walk of its document up to it finds.
Expected<std::string> declarations_around(const PyItem& item, DocumentHold& hold);

// An item's text: a view of a scalar's own text, or the text read out of an
// element, owned here. A text is copied only on its way into a str.
class ItemText {
  public:
    static ItemText borrowed(std::string_view text) {
        ItemText t;
        t.borrowed_ = text;
        t.size_ = text.size();
        return t;
    }
    static ItemText owned(std::string text) {
        ItemText t;
        t.owns_ = true;
        t.size_ = text.size();
        t.owned_ = std::move(text);
        return t;
    }

    std::string_view view() const { return whole().substr(begin_, size_); }
    // Narrows the text to its part without surrounding white space.
    void trim();
    // The text as a string of its own.
    std::string take() && {
        if (owns_ && begin_ == 0 && size_ == owned_.size()) return std::move(owned_);
        return std::string(view());
    }

  private:
    ItemText() = default;
    std::string_view whole() const { return owns_ ? std::string_view(owned_) : borrowed_; }

    bool owns_ = false;
    std::string owned_;
    std::string_view borrowed_;
    std::size_t begin_ = 0, size_ = 0;  // the part of the whole that is the text
};

// The item's text: a scalar's own, or the text of an element, read through
// `hold` (so that an operation reads its document once).
Expected<ItemText> item_text(const PyItem& item, DocumentHold& hold);
// The same as a view: of a scalar's own text, or of `scratch`, which holds
// an element's; an operation over many items reuses one scratch for all.
Expected<std::string_view> item_text(const PyItem& item, DocumentHold& hold, std::string& scratch);

}  // namespace quorbix::lib
