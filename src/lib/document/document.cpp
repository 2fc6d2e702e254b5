#include "lib/document/document.hpp"

#include <cstring>

#include "xml/text_encoding.hpp"

namespace quorbix::lib {
namespace {

constexpr const char* any_document_refused =
    "data must be bytes, str, or a buffer-protocol object (mmap, bytearray)";
constexpr const char* buffer_document_refused =
    "data must be a buffer-protocol object (mmap, bytearray, memoryview)";
constexpr const char* not_contiguous = "buffer must be C-contiguous";

// No format, "B" or "c", optionally after a byte-order mark: an unsigned
// byte. Byte order means nothing for one-byte items, so every mark will do.
bool is_byte_format(const char* format) {
    if (format == nullptr) return true;
    if (*format == '@' || *format == '=' || *format == '<' || *format == '>' || *format == '!')
        ++format;
    return (format[0] == 'B' || format[0] == 'c') && format[1] == '\0';
}

Expected<std::string_view> checked_buffer(PyObject* object, BufferView& view, const char* refused) {
    switch (acquire_buffer_view(object, view)) {
        case Acquired::Ok:
            return view.bytes();
        case Acquired::NotContiguous:
            return PendingError(PyExc_ValueError, not_contiguous);
        case Acquired::Refused:
            break;
    }
    return PendingError(PyExc_ValueError, refused);
}

}  // namespace

void BufferView::release() {
    if (!held_) return;
    held_ = false;
    PyBuffer_Release(&view_);
}

Acquired acquire_buffer_view(PyObject* object, BufferView& view) {
    view.release();
    if (PyObject_GetBuffer(object, &view.view_, PyBUF_FULL_RO) != 0) {
        PyErr_Clear();
        return Acquired::Refused;
    }
    view.held_ = true;
    // No shape means one dimension of `len` bytes, and no strides means C
    // order: both are what a document needs.
    const Py_buffer& v = view.view_;
    if (v.itemsize != 1 || !is_byte_format(v.format)) {
        view.release();
        return Acquired::Refused;
    }
    if (!PyBuffer_IsContiguous(&v, 'C')) {
        view.release();
        return Acquired::NotContiguous;
    }
    return Acquired::Ok;
}

bool is_bytes_document(PyObject* object) {
    return PyBytes_Check(object);
}

bool is_str_document(PyObject* object) {
    return PyUnicode_Check(object);
}

std::string_view read_bytes_document(PyObject* object) {
    return {PyBytes_AsString(object), static_cast<std::size_t>(PyBytes_Size(object))};
}

Expected<std::string_view> read_str_document(PyObject* object) {
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &length);
    if (utf8 == nullptr) return PendingError::fetch();
    return std::string_view(utf8, static_cast<std::size_t>(length));
}

Expected<std::string_view> read_any_document(PyObject* object, BufferView& view) {
    if (is_bytes_document(object)) return read_bytes_document(object);
    if (is_str_document(object)) return read_str_document(object);
    return checked_buffer(object, view, any_document_refused);
}

namespace {

// Whether the pending exception says only that a codec will not do (an
// unknown label, a codec that is no text encoding, bytes it cannot read);
// it is cleared then. Running out of memory and interrupts travel on.
bool codec_refused() {
    if (PyErr_ExceptionMatches(PyExc_MemoryError) || !PyErr_ExceptionMatches(PyExc_Exception))
        return false;
    PyErr_Clear();
    return true;
}

// Python's text codecs that read a spelling of text rather than a character
// set: backslash escapes, domain names, nothing at all.
Expected<bool> reads_a_spelling(const std::string& label) {
    PyRef codecs(PyImport_ImportModule("codecs"));
    PyRef info(codecs ? PyObject_CallMethod(codecs.get(), "lookup", "s", label.c_str()) : nullptr);
    PyRef name(info ? PyObject_GetAttrString(info.get(), "name") : nullptr);
    const char* utf8 = name ? PyUnicode_AsUTF8AndSize(name.get(), nullptr) : nullptr;
    if (utf8 == nullptr) {
        if (codec_refused()) return true;  // no such codec: nothing to read with
        return PendingError::fetch();
    }
    std::string_view codec = utf8;
    for (std::string_view spelling :
         {"unicode-escape", "raw-unicode-escape", "idna", "punycode", "undefined"})
        if (codec == spelling) return true;
    return false;
}

// `text` in UTF-8 into `out`. A codec may give lone surrogates (UTF-7 can
// spell them): they read as U+FFFD, as in a UTF-16 document.
Expected<bool> utf8_of(PyObject* text, std::string& out) {
    Py_ssize_t length = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &length)) {
        out.assign(utf8, static_cast<std::size_t>(length));
        return true;
    }
    if (!codec_refused()) return PendingError::fetch();
    PyRef units(PyUnicode_AsEncodedString(text, "utf-16-le", "surrogatepass"));
    if (!units) return PendingError::fetch();
    out = xml::transcode_utf16_document(read_bytes_document(units.get()), xml::Encoding::Utf16Le);
    return true;
}

// `bytes` decoded by the codec Python's registry has for `label`, in UTF-8
// into `out`; false when it has no such codec or the codec fails on them.
Expected<bool> decode_by_codec(std::string_view bytes, const std::string& label, const char* errors,
                               std::string& out) {
    PyRef text(PyUnicode_Decode(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), label.c_str(),
                                errors));
    if (!text) {
        if (codec_refused()) return false;
        return PendingError::fetch();
    }
    return utf8_of(text.get(), out);
}

// A document in an encoding the Encoding Standard does not name, transcoded
// through Python's codec into `utf8_copy` (undecodable bytes become U+FFFD).
// The codec must read the declaration that names it as the declaration
// stands: one that does not read ASCII as ASCII (UTF-32, EBCDIC) cannot be
// the document's, whose declaration was found by its ASCII bytes. False
// when no codec will do.
Expected<bool> transcode_by_codec(std::string_view bytes, const xml::DocumentStart& start,
                                  std::string& utf8_copy) {
    std::string label(start.unknown_label);
    auto spelling = reads_a_spelling(label);
    if (!spelling.ok()) return std::move(spelling.error());
    if (spelling.value()) return false;
    std::string_view declaration = bytes.substr(0, start.declaration_length);
    auto read = decode_by_codec(declaration, label, "strict", utf8_copy);
    if (!read.ok()) return std::move(read.error());
    if (!read.value() || utf8_copy != declaration) return false;
    return decode_by_codec(bytes, label, "replace", utf8_copy);
}

}  // namespace

Expected<std::optional<std::string>> transcoding_codec(std::string_view first) {
    if (auto utf16 = xml::utf16_document(first))
        return std::optional<std::string>(*utf16 == xml::Encoding::Utf16Le ? "utf-16-le"
                                                                           : "utf-16-be");
    xml::DocumentStart start = xml::read_document_start(first);
    if (start.unknown_label.empty()) return std::optional<std::string>();
    std::string label(start.unknown_label);
    auto spelling = reads_a_spelling(label);
    if (!spelling.ok()) return std::move(spelling.error());
    if (spelling.value()) return std::optional<std::string>();
    std::string_view declaration = first.substr(0, start.declaration_length);
    std::string read_back;
    auto read = decode_by_codec(declaration, label, "strict", read_back);
    if (!read.ok()) return std::move(read.error());
    if (!read.value() || read_back != declaration) return std::optional<std::string>();
    return std::optional<std::string>(std::move(label));
}

Expected<DocumentText> bytes_text(std::string_view bytes, std::string& utf8_copy, Reading reading) {
    // Two bytes tell whether the document is UTF-16; nothing else pays.
    if (auto utf16 = xml::utf16_document(bytes)) {
        utf8_copy = xml::transcode_utf16_document(bytes, *utf16);
        return DocumentText{utf8_copy, xml::Encoding::Utf8, true};
    }
    xml::DocumentStart start = xml::read_document_start(bytes);
    if (!start.unknown_label.empty() && reading == Reading::Text) {
        auto transcoded = transcode_by_codec(bytes, start, utf8_copy);
        if (!transcoded.ok()) return std::move(transcoded.error());
        if (transcoded.value()) return DocumentText{utf8_copy, xml::Encoding::Utf8, true};
    }
    // A label that nothing knows reads as UTF-8, as a document without one.
    return DocumentText{bytes, start.encoding.encoding, false};
}

Expected<DocumentText> read_any_text(PyObject* object, DocumentHold& hold, Reading reading) {
    auto bytes = read_any_document(object, hold.view);
    if (!bytes.ok()) return std::move(bytes.error());
    if (is_str_document(object)) return str_text(bytes.value());
    return bytes_text(bytes.value(), hold.utf8_copy, reading);
}

Expected<std::string_view> read_buffer_document(PyObject* object, BufferView& view) {
    return checked_buffer(object, view, buffer_document_refused);
}

Expected<ScanInput> scan_input(PyObject* data, DocumentKind kind, bool ranges, DocumentHold& hold) {
    switch (kind) {
        case DocumentKind::Str: {
            auto bytes = read_str_document(data);
            if (!bytes.ok()) return std::move(bytes.error());
            return ScanInput{str_text(bytes.value()), ranges ? data : nullptr};
        }
        case DocumentKind::Bytes: {
            auto text = bytes_text(read_bytes_document(data), hold.utf8_copy);
            if (!text.ok()) return std::move(text.error());
            // A transcoded copy dies with the call: its matches are copied out.
            return ScanInput{text.value(), ranges && !text.value().transcoded ? data : nullptr};
        }
        case DocumentKind::Buffer:
            break;
    }
    auto bytes = read_buffer_document(data, hold.view);
    if (!bytes.ok()) return std::move(bytes.error());
    auto text = bytes_text(bytes.value(), hold.utf8_copy);
    if (!text.ok()) return std::move(text.error());
    return ScanInput{text.value(), nullptr};
}

}  // namespace quorbix::lib
