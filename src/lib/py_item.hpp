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
#include "lib/document.hpp"
#include "lib/pending_error.hpp"
#include "lib/py_ref.hpp"

namespace quorbix::lib {

class PyItem {
  public:
    enum class Kind : std::uint8_t { Scalar, Element };
    enum class Source : std::uint8_t { SharedBytes, WholeDocument, DocumentSlice };

    // An element carries the encoding of its document's text, so that every
    // later read of its bytes decodes as the scan did.
    static PyItem text(std::string bytes);
    static PyItem shared_element(std::string bytes, xml::Encoding encoding);
    static PyItem whole_document(PyObject* document);
    static PyItem document_slice(PyObject* document, std::uint64_t start, std::uint64_t end,
                                 xml::Encoding encoding);

    PyItem clone() const;
    Kind kind() const { return value_.index() == 0 ? Kind::Scalar : Kind::Element; }
    bool is_element() const { return kind() == Kind::Element; }
    Source source() const;
    // A Scalar's text.
    const std::string& scalar() const { return std::get<std::string>(value_); }

  private:
    friend Expected<DocumentText> element_bytes(const PyItem& item, DocumentHold& hold);

    // A strong reference to a document object, and the element's place in it.
    struct DocumentRef {
        PyRef document;
        std::uint64_t start = 0, end = 0;  // DocumentSlice: [start, end) of the document
        bool whole = false;                // WholeDocument: all of it, read as its start says
        xml::Encoding encoding = xml::Encoding::Utf8;  // DocumentSlice
    };
    // The bytes of a SharedBytes element, shared with an atomic count.
    struct SharedRef {
        std::shared_ptr<const std::string> bytes;
        xml::Encoding encoding = xml::Encoding::Utf8;
    };
    // Scalar text; SharedBytes; or a document reference.
    std::variant<std::string, SharedRef, DocumentRef> value_;
};

using PyItems = std::vector<PyItem>;

// Engine matches as items; ranges become slices of `document` (range mode).
// Elements carry `encoding`, the encoding the scan read the document in.
PyItems items_from_matches(engine::Matches&& matches, PyObject* document, xml::Encoding encoding);

// The element's bytes and their encoding, valid while `hold` is held; a
// ValueError when the document object can no longer be read.
Expected<DocumentText> element_bytes(const PyItem& item, DocumentHold& hold);

// The item's text: a scalar's bytes, or the text of an element.
Expected<std::string> item_text(const PyItem& item);

}  // namespace quorbix::lib
