// What get_many, get_many_bytes, get_many_buffer and Result.get_many share:
// a list of path entries, converted before any document is read, and the
// Results of one pass.
#pragma once

#include <Python.h>

#include <vector>

#include "engine/engine_match.hpp"
#include "engine/match_scopes.hpp"
#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"
#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"

namespace quorbix::lib {

// One entry of a paths list: its compiled path, or none for the empty text.
using PathEntries = std::vector<path::CompiledPathRef>;

// The entries of a list of str and Path objects, in order: a str is compiled
// through the cache, under `namespaces` when given (a malformed one fails the
// call at once), a Path shares its compiled path, compiled under its own
// mapping. Anything else is a TypeError.
Expected<PathEntries> path_entries(PyObject* list, const path::NamespaceMap* namespaces = nullptr);

// The compiled paths of the entries that have one, in entry order.
std::vector<const path::CompiledPath*> compiled_of(const PathEntries& entries);

// A new list of Results, one per entry: an empty Result for an empty text,
// else the next list of `lists` as items (ranges become slices of
// `document` when it is given; elements carry the declarations `scopes`
// kept around them).
Expected<PyRef> results_of(const PathEntries& entries, std::vector<engine::Matches>&& lists,
                           PyObject* document, xml::Encoding encoding,
                           const engine::MatchScopes* scopes);

}  // namespace quorbix::lib
