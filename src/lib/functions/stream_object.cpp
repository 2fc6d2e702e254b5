// _stream(paths, checking, utf8): a scan of paths over a document fed in
// pieces, behind quorbix.stream and the streamed tables. Its methods:
//   feed(piece)  the next bytes of the document; False once nothing more can
//                be found (the caller stops reading)
//   end()        the document ended
//   take()       one list per path of the Results found since the last take,
//                each owning its bytes: as they are found for a path whose
//                matches stream, after end() for the others
//   take_bytes() the same as bytes: an element's markup, a text's UTF-8; an
//                element found in the scope of namespace declarations as a
//                pair of its markup and theirs (start-tag attributes)
//   encoding()   the name of the encoding the elements' bytes are in
//   entities()   the entities the document declares, which the elements'
//                bytes read in, for _table: a capsule, or None
//   report()     the first problem of the document's structure, once found,
//                as _validation_report gives it, or a reference left unread
// `checking` is 0 (none), 1 (report problems) or 2 (the first problem ends
// the scan: the matches are those before it).
//   error()      raises the ambiguity that stopped the scan, if one did
// The pieces are read as the document's first bytes say, or as UTF-8 when
// `utf8` is true (the caller transcoded them).
#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "engine/streamed_paths.hpp"
#include "lib/calls/arguments.hpp"
#include "lib/calls/path_text.hpp"
#include "lib/document/document.hpp"
#include "lib/document/unlocked_scan.hpp"
#include "lib/functions/many_paths.hpp"
#include "lib/functions/module_functions.hpp"
#include "lib/functions/report_object.hpp"
#include "lib/result/result.hpp"
#include "lib/support/entities_capsule.hpp"
#include "lib/support/heap_object.hpp"

namespace quorbix::lib {
namespace {

struct StreamFields {
    PathEntries entries;  // an empty text has none, and finds nothing
    engine::Checking checking = engine::Checking::None;
    bool utf8 = false;
    std::string first;  // the document's first bytes, until they say how it is encoded
    std::unique_ptr<engine::StreamedPaths> scan;
    bool busy = false;  // a feed is under way without the lock
};

struct StreamObject {
    PyObject ob_base;
    StreamFields fields;
};

StreamFields& as_stream(PyObject* object) {
    return reinterpret_cast<StreamObject*>(object)->fields;
}

// The scan, made once the first bytes say how the document is encoded (or
// once it ended, with what there was).
void start_scan(StreamFields& s) {
    xml::DocumentStart start = s.utf8 ? xml::given_document_start(s.first, xml::Encoding::Utf8)
                                      : xml::read_document_start(s.first);
    start.unknown_label = {};  // it pointed into `first`
    s.scan = std::make_unique<engine::StreamedPaths>(compiled_of(s.entries), start, s.checking);
}

std::optional<PendingError> in_use(const StreamFields& s) {
    if (!s.busy) return std::nullopt;
    return PendingError(PyExc_RuntimeError, "the stream is being fed by another thread");
}

// Marks a stream busy while a piece is scanned without the lock, also when
// the scan throws.
class Busy {
  public:
    explicit Busy(StreamFields& s) : s_(s) { s_.busy = true; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    ~Busy() { s_.busy = false; }

  private:
    StreamFields& s_;
};

// Feeds `bytes`, without the lock when they cannot change meanwhile (the
// bytes of a bytes object, or the stream's own) and are many.
bool feed_bytes(StreamFields& s, std::string_view bytes, bool immutable) {
    std::string first;
    if (!s.scan) {
        s.first.append(bytes);
        if (!engine::document_start_known(s.first)) return true;
        start_scan(s);
        first = std::move(s.first);
        s.first.clear();
        bytes = first;
        immutable = true;
    }
    Busy busy(s);
    LockReleased released(immutable && bytes.size() >= unlocked_scan_bytes);
    return s.scan->feed(bytes);
}

Expected<PyRef> feed(PyObject* self, PyObject* piece) {
    StreamFields& s = as_stream(self);
    if (auto error = in_use(s)) return std::move(*error);
    if (is_str_document(piece))
        return PendingError(PyExc_TypeError, "a piece of a document is bytes, not str");
    BufferView view;
    auto bytes = read_any_document(piece, view);
    if (!bytes.ok()) return std::move(bytes.error());
    bool more = feed_bytes(s, bytes.value(), is_bytes_document(piece) || view.of_bytes());
    return PyRef(PyBool_FromLong(more));
}

Expected<PyRef> end(PyObject* self, PyObject*) {
    StreamFields& s = as_stream(self);
    if (auto error = in_use(s)) return std::move(*error);
    if (!s.scan) start_scan(s);
    if (!s.first.empty()) {
        std::string first = std::move(s.first);
        s.first.clear();
        s.scan->feed(first);
    }
    s.scan->end();
    return PyRef::borrow(Py_None);
}

// The matches entry `e` has ready: as they are found when they stream, else
// once the document ended. The scan's paths are the entries that have one.
engine::Matches ready(StreamFields& s, std::size_t e) {
    engine::Matches matches;
    if (!s.scan || !s.entries[e]) return matches;
    std::size_t p = 0;
    for (std::size_t i = 0; i < e; ++i) p += s.entries[i] ? 1 : 0;
    if (s.scan->streams(p) || s.scan->ended()) std::swap(matches, s.scan->found()[p]);
    return matches;
}

// One list per path of what `make` makes of each match ready.
// What was taken holds the declarations around it now: the scan keeps those
// of the element matches it still holds, and of none before them.
void forget_taken_scopes(engine::StreamedPaths& scan) {
    std::uint64_t held = ~std::uint64_t{0};
    for (const engine::Matches& list : scan.found())
        for (const engine::EngineMatch& m : list)
            if (m.kind != engine::EngineMatch::Kind::ScalarText) held = std::min(held, m.start);
    scan.scopes().forget_before(held);
}

template <class Make>
Expected<PyRef> take_each(PyObject* self, Make make) {
    StreamFields& s = as_stream(self);
    if (auto error = in_use(s)) return std::move(*error);
    PyRef lists(PyList_New(static_cast<Py_ssize_t>(s.entries.size())));
    if (!lists) return PendingError::fetch();
    for (std::size_t p = 0; p < s.entries.size(); ++p) {
        engine::Matches matches = ready(s, p);
        PyRef list(PyList_New(static_cast<Py_ssize_t>(matches.size())));
        if (!list) return PendingError::fetch();
        for (std::size_t i = 0; i < matches.size(); ++i) {
            auto made = make(s, std::move(matches[i]));
            if (!made.ok()) return std::move(made.error());
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), made.value().release());
        }
        PyList_SetItem(lists.get(), static_cast<Py_ssize_t>(p), list.release());
    }
    if (s.scan) forget_taken_scopes(*s.scan);
    return lists;
}

Expected<PyRef> take(PyObject* self, PyObject*) {
    return take_each(self, [](StreamFields& s, engine::EngineMatch match) {
        engine::Matches one;
        one.push_back(std::move(match));
        PyItems items =
            items_from_matches(std::move(one), nullptr, s.scan->encoding(), &s.scan->scopes());
        return single_result(items.front());
    });
}

Expected<PyRef> take_bytes(PyObject* self, PyObject*) {
    return take_each(self, [](StreamFields& s, engine::EngineMatch match) -> Expected<PyRef> {
        PyRef bytes(PyBytes_FromStringAndSize(match.bytes.data(),
                                              static_cast<Py_ssize_t>(match.bytes.size())));
        if (!bytes) return PendingError::fetch();
        auto found = match.kind == engine::EngineMatch::Kind::ScalarText
                         ? nullptr
                         : s.scan->scopes().of(match.start);
        if (!found) return bytes;
        const std::string& scope = *found;
        PyRef declarations(
            PyBytes_FromStringAndSize(scope.data(), static_cast<Py_ssize_t>(scope.size())));
        if (!declarations) return PendingError::fetch();
        PyRef pair(PyTuple_Pack(2, bytes.get(), declarations.get()));
        if (!pair) return PendingError::fetch();
        return pair;
    });
}

Expected<PyRef> encoding(PyObject* self, PyObject*) {
    StreamFields& s = as_stream(self);
    std::string_view name = xml::encoding_name(s.scan ? s.scan->encoding() : xml::Encoding::Utf8);
    PyRef text(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!text) return PendingError::fetch();
    return text;
}

Expected<PyRef> entities(PyObject* self, PyObject*) {
    StreamFields& s = as_stream(self);
    if (auto error = in_use(s)) return std::move(*error);
    PyRef held = entities_object(s.scan ? s.scan->entities() : nullptr);
    if (!held) return PendingError::fetch();
    return held;
}

Expected<PyRef> report(PyObject* self, PyObject*) {
    StreamFields& s = as_stream(self);
    if (auto error = in_use(s)) return std::move(*error);
    if (!s.scan || !s.scan->report()) return PyRef::borrow(Py_None);
    PyRef answer = report_object(*s.scan->report());
    if (!answer) return PendingError::fetch();
    return answer;
}

Expected<PyRef> error(PyObject* self, PyObject*) {
    StreamFields& s = as_stream(self);
    if (s.scan && s.scan->error()) return ambiguous_path_error(*s.scan->error());
    return PyRef::borrow(Py_None);
}

// A method as the method table wants it (METH_O or METH_NOARGS).
template <Expected<PyRef> (*Method)(PyObject*, PyObject*)>
PyObject* entry(PyObject* self, PyObject* argument) {
    return finish(Method(self, argument));
}

PyMethodDef stream_methods[] = {
    {"feed", method<entry<feed>>(), METH_O, nullptr},
    {"end", method<entry<end>>(), METH_NOARGS, nullptr},
    {"take", method<entry<take>>(), METH_NOARGS, nullptr},
    {"take_bytes", method<entry<take_bytes>>(), METH_NOARGS, nullptr},
    {"encoding", method<entry<encoding>>(), METH_NOARGS, nullptr},
    {"entities", method<entry<entities>>(), METH_NOARGS, nullptr},
    {"report", method<entry<report>>(), METH_NOARGS, nullptr},
    {"error", method<entry<error>>(), METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot stream_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(delete_instance<StreamObject>)},
    {Py_tp_methods, stream_methods},
    {0, nullptr},
};

// Holds no Python objects: outside the garbage collector.
PyType_Spec stream_spec = {
    "quorbix._quorbix._Stream", sizeof(StreamObject), 0, class_flags(false), stream_slots,
};

PyObject* stream_type() {
    static PyObject* type = nullptr;  // made under the lock (see path_type)
    if (type == nullptr) type = PyType_FromSpec(&stream_spec);
    return type;
}

constexpr const char* stream_parameters[] = {"paths", "checking", "utf8"};

Expected<PyRef> make_stream(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"_stream()", stream_parameters, 3};
    PyObject* bound[3];
    if (auto error = bind_arguments(signature, args, nargs, kwnames, bound))
        return std::move(*error);
    if (!PyList_Check(bound[0])) return argument_type_error("paths", bound[0], "list");
    auto entries = path_entries(bound[0]);
    if (!entries.ok()) return std::move(entries.error());
    long checking = PyLong_AsLong(bound[1]);
    if (checking == -1 && PyErr_Occurred()) return PendingError::fetch();
    if (checking < 0 || checking > 2)
        return PendingError(PyExc_ValueError, "checking is 0, 1 or 2");
    int utf8 = PyObject_IsTrue(bound[2]);
    if (utf8 < 0) return PendingError::fetch();
    StreamFields fields;
    fields.entries = std::move(entries.value());
    fields.checking = static_cast<engine::Checking>(checking);
    fields.utf8 = utf8 == 1;
    return new_instance<StreamObject>(stream_type(), std::move(fields));
}

constexpr const char* first_only[] = {"first"};

// The bytes of the one argument, `first`, of the two functions below: a
// document's first bytes.
Expected<std::string_view> first_bytes(const Signature& signature, PyObject* const* args,
                                       Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* first;
    if (auto error = bind_arguments(signature, args, nargs, kwnames, &first))
        return std::move(*error);
    if (!is_bytes_document(first)) return argument_type_error("first", first, "bytes");
    return read_bytes_document(first);
}

// _text_codec(first): the codec that must decode the document whose first
// bytes these are before the scan reads it, or None.
Expected<PyRef> text_codec(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"_text_codec()", first_only, 1};
    auto first = first_bytes(signature, args, nargs, kwnames);
    if (!first.ok()) return std::move(first.error());
    auto codec = transcoding_codec(first.value());
    if (!codec.ok()) return std::move(codec.error());
    if (!codec.value()) return PyRef::borrow(Py_None);
    PyRef name(PyUnicode_FromString(codec.value()->c_str()));
    if (!name) return PendingError::fetch();
    return name;
}

// _start_known(first): whether the first bytes of a document say how its
// text is encoded (a declaration at its start is read through its "?>").
Expected<PyRef> start_known(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr Signature signature{"_start_known()", first_only, 1};
    auto first = first_bytes(signature, args, nargs, kwnames);
    if (!first.ok()) return std::move(first.error());
    return PyRef(PyBool_FromLong(engine::document_start_known(first.value())));
}

}  // namespace

PyMethodDef start_known_function = {"_start_known", method<call_entry<start_known>>(),
                                    METH_FASTCALL | METH_KEYWORDS, "_start_known(first)\n--\n\n"};

PyMethodDef text_codec_function = {"_text_codec", method<call_entry<text_codec>>(),
                                   METH_FASTCALL | METH_KEYWORDS, "_text_codec(first)\n--\n\n"};

PyMethodDef stream_function = {"_stream", method<call_entry<make_stream>>(),
                               METH_FASTCALL | METH_KEYWORDS,
                               "_stream(paths, checking, utf8)\n--\n\n"};

}  // namespace quorbix::lib
