// The Python class Result: an immutable list of matched items whose mode is
// derived afresh by every operation.
#pragma once

#include <Python.h>

#include <memory>

#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::lib {

enum class ResultMode { Empty, ScalarLike, DictElement, Multi };

// The word messages use for a mode: "empty", "scalar", "multi".
const char* mode_name(ResultMode mode);

// The class object, created on first use (nullptr with an exception set on
// failure).
PyObject* result_type();

// A new Result owning `items`; a `list` acts as a list of them whatever
// their number (see result_mode).
Expected<PyRef> make_result(PyItems items, bool list = false);

// A new Result of `item` alone, as a loop over a list-like Result yields it.
Expected<PyRef> single_result(const PyItem& item);

// A new Result of `path`'s matches: a list when the path answers one.
Expected<PyRef> make_answer(PyItems items, const path::CompiledPath& path);

// A new Result with no items.
Expected<PyRef> empty_result();

bool is_result(PyObject* object);
const PyItems& items_of(PyObject* result);

class ChildScan;

// The children of a DictElement Result's element, for operations that look
// them up by name or count them.
struct ResultChildren {
    const ChildScan& scan() const { return *current; }

    const ChildScan* current = nullptr;  // the Result's own, or `fresh`
    std::unique_ptr<ChildScan> fresh;    // read for this operation alone
};

// Read once and kept with the Result when its element's bytes cannot change
// (a str or bytes document, or the module's own copy), so that lookups by
// name cost no scan; read afresh at every operation when they lie in a
// buffer, whose exporter may change them. An internal error when the Result
// is no longer a DictElement.
Expected<ResultChildren> result_children(PyObject* result, DocumentHold& hold);
// Whether the Result kept its children from an earlier lookup.
bool has_kept_children(PyObject* result);

// Empty, Multi by count alone; one item is ScalarLike unless it is an element
// with a child element. The element is read through `hold`, which the rest of
// the operation reads it through too.
Expected<ResultMode> mode_of(const PyItems& items, DocumentHold& hold);
// The same, for an operation that reads nothing more.
Expected<ResultMode> mode_of(const PyItems& items);
// The mode of a Result of `item` alone: ScalarLike or DictElement.
Expected<ResultMode> item_mode(const PyItem& item, DocumentHold& hold);

// Whether the Result answers a path that answers a list.
bool is_list(PyObject* result);
// The mode the Result acts in: Multi for a list, even of one match or none,
// else its items' mode. Only the scalar conversions (to_str, to_int,
// to_float, to_bool, int(), float()) read the items' own mode instead, so
// that the text of a single match reads the same in a list or not.
Expected<ResultMode> result_mode(PyObject* result, DocumentHold& hold);

}  // namespace quorbix::lib
