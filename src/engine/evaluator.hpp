// The single-path streaming evaluator: one compiled path over one document,
// in one forward pass, with no tree.
#pragma once

#include <memory>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/engine_match.hpp"
#include "engine/match_scopes.hpp"
#include "path/compiled_path.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/entities.hpp"
#include "xml/structure_check.hpp"

namespace quorbix::engine {

// The matches of `path` in `document`, in document order, after the path's
// modifiers; or AmbiguousPath. The document's text is in `encoding` (what its
// start says, `xml::read_document_start`, unless the caller knows better). In
// range mode elements with an end tag are reported as byte ranges of
// `document`; otherwise every element is copied. A `check`, when given, is
// fed every tag of the document (xml::StructureCheck), read by the scan
// itself as far as it goes. `scopes`, when given, takes the namespace
// declarations in scope around the element matches of a path compiled
// under a namespace mapping, and the entities the document's DOCTYPE
// declares, which are read in its texts and values.
// `entities`, when given, are read in place of the DOCTYPE's: those of the
// document a document of copied elements was made of.
EvalOutcome evaluate_path(std::string_view document, xml::Encoding encoding,
                          const path::CompiledPath& path, bool range_mode,
                          xml::StructureCheck* check = nullptr, MatchScopes* scopes = nullptr,
                          std::shared_ptr<const xml::Entities> entities = nullptr);

// The same, relative to the first element in `element`: its children are
// tested against the first component (a terminal reads the element itself);
// every match is copied. Its names are read in the namespace declarations
// `declarations` makes (start-tag attributes: those in scope where the
// element was found, which its bytes do not hold), and its texts with the
// `entities` its document declares.
EvalOutcome evaluate_path_in_element(std::string_view element, xml::Encoding encoding,
                                     const path::CompiledPath& path,
                                     std::string_view declarations = {},
                                     MatchScopes* scopes = nullptr,
                                     std::shared_ptr<const xml::Entities> entities = nullptr);

// Several paths over one document in one pass: one list of matches per path,
// in the order of `paths`, each after its own modifiers; or AmbiguousPath
// when any path is ambiguous. A last step's matches are recorded as each
// path's `final_capture` says. A `check` is fed as `evaluate_path` feeds it.
using MultiOutcome = std::variant<std::vector<Matches>, AmbiguousPath>;
MultiOutcome evaluate_paths(std::string_view document, xml::Encoding encoding,
                            const std::vector<const path::CompiledPath*>& paths, bool range_mode,
                            xml::StructureCheck* check = nullptr, MatchScopes* scopes = nullptr);

// The same, relative to the first element in `element` (its children are
// tested against each path's first component), every match copied.
MultiOutcome evaluate_paths_in_element(std::string_view element, xml::Encoding encoding,
                                       const std::vector<const path::CompiledPath*>& paths,
                                       std::string_view declarations = {},
                                       MatchScopes* scopes = nullptr,
                                       std::shared_ptr<const xml::Entities> entities = nullptr);

}  // namespace quorbix::engine
