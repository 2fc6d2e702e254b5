#include "path/path_cache.hpp"

#include <functional>
#include <unordered_map>

#include "path/parser.hpp"

namespace quorbix::path {
namespace {

// Lets a lookup hash and compare a string_view without making a string.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

using PathCache = std::unordered_map<std::string, CompiledPathRef, TextHash, std::equal_to<>>;

// Paths compiled without a mapping, keyed by their text; and those compiled
// under one, keyed by the mapping's key, a NUL and the text.
PathCache& this_threads_cache(bool mapped = false) {
    thread_local PathCache plain, under_mappings;
    return mapped ? under_mappings : plain;
}

}  // namespace

std::variant<CompiledPathRef, std::string> compile_cached(std::string_view text,
                                                          const NamespaceMap* namespaces) {
    PathCache& cache = this_threads_cache(namespaces != nullptr);
    std::string keyed;
    if (namespaces != nullptr) {
        keyed.reserve(namespaces->key().size() + 1 + text.size());
        keyed.append(namespaces->key()).push_back('\0');
        keyed += text;
    }
    std::string_view key = namespaces != nullptr ? std::string_view(keyed) : text;
    if (auto hit = cache.find(key); hit != cache.end()) return hit->second;

    auto compiled = compile_path(text, namespaces);
    if (auto* path = std::get_if<CompiledPathRef>(&compiled)) {
        if (cache.size() >= path_cache_capacity) cache.clear();
        cache.insert_or_assign(std::string(key), *path);
    }
    return compiled;
}

std::size_t path_cache_size() {
    return this_threads_cache().size() + this_threads_cache(true).size();
}

}  // namespace quorbix::path
