// A caller's namespace mapping: the prefixes a path may use, each standing
// for a namespace URI, whatever prefix a document writes for it. The empty
// prefix, when given, is the namespace of the path's unprefixed element
// steps (the empty URI: no namespace); without it they test the local name
// alone, as without a mapping.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "path/compiled_path.hpp"
#include "path/path_error.hpp"

namespace quorbix::path {

class NamespaceMap {
  public:
    NamespaceMap() = default;
    explicit NamespaceMap(std::vector<std::pair<std::string, std::string>> bindings);

    // The URI `prefix` stands for; `xml` stands for the XML namespace unless
    // the mapping says otherwise.
    const std::string* uri_of(std::string_view prefix) const;
    const std::vector<std::pair<std::string, std::string>>& bindings() const { return bindings_; }
    // A prefix that stands for `uri` (the empty one first: a name in it is
    // written unprefixed), or null.
    const std::string* prefix_of(std::string_view uri) const;
    // The mapping as one text: the compiled-path cache keys on it.
    const std::string& key() const { return key_; }

  private:
    std::vector<std::pair<std::string, std::string>> bindings_;  // sorted by prefix
    std::string key_;
};

// Whether a step of `steps`, or of their filters, tests the namespace a
// prefix stands for: a scan of them keeps the declarations in scope.
bool needs_scope(const std::vector<PathStep>& steps);

// Binds the steps of `path`, its filters' too, to `map`: a prefix it does
// not bind is an error naming it.
std::optional<PathError> bind_namespaces(CompiledPath& path, const NamespaceMap& map);

}  // namespace quorbix::path
