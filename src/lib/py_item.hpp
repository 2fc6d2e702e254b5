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

    static PyItem text(std::string bytes);
    static PyItem shared_element(std::string bytes);
    static PyItem whole_document(PyObject* document);
    static PyItem document_slice(PyObject* document, std::uint64_t start, std::uint64_t end);

    PyItem clone() const;
    Kind kind() const { return value_.index() == 0 ? Kind::Scalar : Kind::Element; }
    bool is_element() const { return kind() == Kind::Element; }
    Source source() const;
    // A Scalar's text.
    const std::string& scalar() const { return std::get<std::string>(value_); }

  private:
    friend Expected<std::string_view> element_bytes(const PyItem& item, BufferView& view);

    // A strong reference to a document object, and the element's place in it.
    struct DocumentRef {
        PyRef document;
        std::uint64_t start = 0, end = 0;  // DocumentSlice: [start, end) of the document
        bool whole = false;                // WholeDocument: all of it
    };
    // Scalar text; SharedBytes (an atomic count); or a document reference.
    std::variant<std::string, std::shared_ptr<const std::string>, DocumentRef> value_;
};

using PyItems = std::vector<PyItem>;

// Engine matches as items; ranges become slices of `document` (range mode).
PyItems items_from_matches(engine::Matches&& matches, PyObject* document);

// The element's bytes, valid while `view` is held; a ValueError when the
// document object can no longer be read.
Expected<std::string_view> element_bytes(const PyItem& item, BufferView& view);

// The item's text: a scalar's bytes, or the text of an element.
Expected<std::string> item_text(const PyItem& item);

}  // namespace quorbix::lib
