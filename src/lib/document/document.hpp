// Taking hold of a document's bytes: `bytes` as they are, `str` in its UTF-8
// form, anything else through a checked buffer view held for one operation.
#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lib/support/pending_error.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"

namespace quorbix::lib {

enum class Acquired { Ok, Refused, NotContiguous };

class BufferView;

// A view of a byte buffer: one-byte unsigned items, C-contiguous. On refusal
// the exporter's own exception is discarded; the caller raises its message.
Acquired acquire_buffer_view(PyObject* object, BufferView& view);

// A buffer view, released exactly once when its owner goes. It stays at one
// address from acquisition to release, so it is neither copied nor moved.
class BufferView {
  public:
    BufferView() = default;
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() { release(); }

    bool held() const { return held_; }
    std::string_view bytes() const {
        return {static_cast<const char*>(view_.buf), static_cast<std::size_t>(view_.len)};
    }
    // Whether the bytes are a bytes object's (a memoryview of one, say), which
    // never change.
    bool of_bytes() const { return held_ && view_.obj != nullptr && PyBytes_Check(view_.obj); }
    void release();

  private:
    friend Acquired acquire_buffer_view(PyObject* object, BufferView& view);
    Py_buffer view_{};
    bool held_ = false;
};

bool is_bytes_document(PyObject* object);
bool is_str_document(PyObject* object);
std::string_view read_bytes_document(PyObject* object);
// The interpreter's encoding error for a str without a UTF-8 form.
Expected<std::string_view> read_str_document(PyObject* object);

// bytes, then str, then a buffer view (held in `view` until it goes).
Expected<std::string_view> read_any_document(PyObject* object, BufferView& view);

// A document's bytes as the engine reads them, and the encoding of its text.
struct DocumentText {
    std::string_view bytes;
    xml::Encoding encoding = xml::Encoding::Utf8;
    // A UTF-8 copy of the document: it lives only as long as the operation,
    // so matches must be copied out of it.
    bool transcoded = false;
};

// What keeps a document's text readable for one operation: the view of a
// buffer document, and the UTF-8 copy of a transcoded one. An operation reads
// a whole document once: `read` is the document read through this hold, and
// `text` what was read.
struct DocumentHold {
    BufferView view;
    std::string utf8_copy;
    PyObject* read = nullptr;
    DocumentText text;

    // A document's entities as this operation reads its texts: one reading
    // (xml::Entities::reading), with one budget, for all of them.
    const xml::Entities* reading(const std::shared_ptr<const xml::Entities>& entities) {
        if (!entities) return nullptr;
        if (read_of_ != entities.get()) {
            reading_ = xml::Entities::reading(entities);
            read_of_ = entities.get();
        }
        return reading_.get();
    }

  private:
    std::shared_ptr<const xml::Entities> reading_;
    const xml::Entities* read_of_ = nullptr;
};

// A str is text already: its UTF-8 form is read as UTF-8, whatever its
// declaration says.
inline DocumentText str_text(std::string_view utf8) {
    return {utf8, xml::Encoding::Utf8, false};
}

// What a document is read for: its text, or only its markup (validation),
// which every codec the text might need reads as ASCII.
enum class Reading { Text, Markup };

// The bytes of a bytes or buffer document, read as their start says. A
// UTF-16 document, and for its text one whose label only Python's codecs
// know, is transcoded once into `utf8_copy`.
Expected<DocumentText> bytes_text(std::string_view bytes, std::string& utf8_copy,
                                  Reading reading = Reading::Text);

// The Python codec that must decode a document whose first bytes are
// `first` (enough to hold its declaration) before the core reads it, as
// bytes_text transcodes a whole one: UTF-16's, or that of a label only
// Python's codecs know. Nothing when the core reads the bytes as they are.
Expected<std::optional<std::string>> transcoding_codec(std::string_view first);

// Any kind of document (read_any_document), as text.
Expected<DocumentText> read_any_text(PyObject* object, DocumentHold& hold,
                                     Reading reading = Reading::Text);

// The three ways a document is read for a scan: a str and a bytes in place,
// a buffer through a view held for the scan only.
enum class DocumentKind { Str, Bytes, Buffer };

// A document's text for one scan, and the object whose bytes range-mode
// matches may point into: null when the scan must copy (a buffer, a
// transcoded copy, or when `ranges` is off). `hold` keeps the text readable;
// its view should be released right after the scan.
struct ScanInput {
    DocumentText text;
    PyObject* range_document = nullptr;
};
Expected<ScanInput> scan_input(PyObject* data, DocumentKind kind, bool ranges, DocumentHold& hold);

// Just a buffer document, for the buffer entry points.
Expected<std::string_view> read_buffer_document(PyObject* object, BufferView& view);

}  // namespace quorbix::lib
