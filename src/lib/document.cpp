#include "lib/document.hpp"

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
    const Py_buffer& v = view.view_;
    if (v.shape == nullptr || v.strides == nullptr || v.itemsize != 1 ||
        !is_byte_format(v.format)) {
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

DocumentText bytes_text(std::string_view bytes, std::string& utf8_copy) {
    // Two bytes tell whether the document is UTF-16; nothing else pays.
    if (auto utf16 = xml::utf16_document(bytes)) {
        utf8_copy = xml::transcode_utf16_document(bytes, *utf16);
        return {utf8_copy, xml::Encoding::Utf8, true};
    }
    return {bytes, xml::document_encoding(bytes), false};
}

Expected<DocumentText> read_any_text(PyObject* object, DocumentHold& hold) {
    auto bytes = read_any_document(object, hold.view);
    if (!bytes.ok()) return std::move(bytes.error());
    if (is_str_document(object)) return str_text(bytes.value());
    return bytes_text(bytes.value(), hold.utf8_copy);
}

Expected<std::string_view> read_buffer_document(PyObject* object, BufferView& view) {
    return checked_buffer(object, view, buffer_document_refused);
}

}  // namespace quorbix::lib
