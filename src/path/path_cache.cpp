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

PathCache& this_threads_cache() {
    thread_local PathCache cache;
    return cache;
}

}  // namespace

std::variant<CompiledPathRef, std::string> compile_cached(std::string_view text) {
    PathCache& cache = this_threads_cache();
    if (auto hit = cache.find(text); hit != cache.end()) return hit->second;

    auto compiled = compile_path(text);
    if (auto* path = std::get_if<CompiledPathRef>(&compiled)) {
        if (cache.size() >= path_cache_capacity) cache.clear();
        cache.insert_or_assign(std::string(text), *path);
    }
    return compiled;
}

std::size_t path_cache_size() {
    return this_threads_cache().size();
}

}  // namespace quorbix::path
