#include "path/namespace_map.hpp"

#include <algorithm>
#include <memory>

namespace quorbix::path {
namespace {

const std::string xml_prefix_uri = "http://www.w3.org/XML/1998/namespace";

// `step` tests the namespace `uri` as well as its local name.
void in_namespace(PathStep& step, std::string uri) {
    step.by_uri = true;
    step.uri = std::move(uri);
    if (!step.is_element()) return;
    step.glob = step.kind == StepKind::ElementGlob;
    step.kind = StepKind::ElementInNamespace;
}

// A step's name split at its prefix; `*` as a prefix tests the local name
// in any namespace.
std::optional<PathError> bind_step(PathStep& step, const NamespaceMap& map) {
    if (step.kind == StepKind::Text) return std::nullopt;
    std::size_t colon = step.name.find(':');
    bool element = step.is_element();
    if (colon == std::string::npos) {
        // An unprefixed attribute is in no namespace; an unprefixed element
        // step is in the mapping's default, if it names one.
        const std::string* uri = element ? map.uri_of("") : nullptr;
        if (element && uri == nullptr) return std::nullopt;
        in_namespace(step, uri != nullptr ? *uri : std::string());
        return std::nullopt;
    }
    std::string prefix = step.name.substr(0, colon);
    if (prefix == "*" && step.kind == StepKind::ElementGlob) {
        step.name.erase(0, colon + 1);
        step.qualified = false;
        return std::nullopt;
    }
    const std::string* uri = map.uri_of(prefix);
    if (uri == nullptr) return PathError{PathErrorKind::UnboundPrefix, std::move(prefix)};
    step.name.erase(0, colon + 1);
    step.qualified = false;
    in_namespace(step, *uri);
    return std::nullopt;
}

std::optional<PathError> bind_steps(std::vector<PathStep>& steps, const NamespaceMap& map) {
    for (PathStep& step : steps) {
        if (auto error = bind_step(step, map)) return error;
        if (!step.filter) continue;
        // Filters nest a bounded depth, so this recursion is bounded too.
        auto filter = std::make_shared<FilterExpr>(*step.filter);
        if (auto error = bind_steps(filter->lhs, map)) return error;
        step.filter = std::move(filter);
    }
    return std::nullopt;
}

}  // namespace

NamespaceMap::NamespaceMap(std::vector<std::pair<std::string, std::string>> bindings)
    : bindings_(std::move(bindings)) {
    std::sort(bindings_.begin(), bindings_.end());
    for (const auto& [prefix, uri] : bindings_) {
        // Each text after its length, so that no two mappings share a key.
        key_ +=
            std::to_string(prefix.size()) + ':' + prefix + std::to_string(uri.size()) + ':' + uri;
    }
}

const std::string* NamespaceMap::uri_of(std::string_view prefix) const {
    auto it =
        std::lower_bound(bindings_.begin(), bindings_.end(), prefix,
                         [](const auto& binding, std::string_view p) { return binding.first < p; });
    if (it != bindings_.end() && it->first == prefix) return &it->second;
    return prefix == "xml" ? &xml_prefix_uri : nullptr;
}

bool needs_scope(const std::vector<PathStep>& steps) {
    for (const PathStep& step : steps) {
        // An unprefixed attribute step asks for no namespace: no scope needed.
        if (step.by_uri && (step.is_element() || !step.uri.empty())) return true;
        if (step.filter && needs_scope(step.filter->lhs)) return true;
    }
    return false;
}

const std::string* NamespaceMap::prefix_of(std::string_view uri) const {
    for (const auto& [prefix, bound] : bindings_)  // sorted: the empty prefix first
        if (bound == uri) return &prefix;
    return nullptr;
}

std::optional<PathError> bind_namespaces(CompiledPath& path, const NamespaceMap& map) {
    if (auto error = bind_steps(path.steps, map)) return error;
    path.namespaced = true;
    path.namespaces = std::make_shared<const NamespaceMap>(map);
    return std::nullopt;
}

}  // namespace quorbix::path
