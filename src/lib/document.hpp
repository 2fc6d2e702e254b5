// Taking hold of a document's bytes: `bytes` as they are, `str` in its UTF-8
// form, anything else through a checked buffer view held for one operation.
#pragma once

#include <Python.h>

#include <string_view>

#include "lib/pending_error.hpp"

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

// Just a buffer document, for the buffer entry points.
Expected<std::string_view> read_buffer_document(PyObject* object, BufferView& view);

}  // namespace quorbix::lib
