// Compiled paths by text, one cache per thread: a repeated text is answered
// with the compiled path made the first time.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"

namespace quorbix::path {

// The largest number of entries a thread's cache holds; one more empties it.
inline constexpr std::size_t path_cache_capacity = 512;

// The compiled path for `text` (under `namespaces`, if given), from this
// thread's cache or compiled now, or the error message. Failures are never
// stored.
std::variant<CompiledPathRef, std::string> compile_cached(std::string_view text,
                                                          const NamespaceMap* namespaces = nullptr);

// The number of entries in this thread's cache (for tests).
std::size_t path_cache_size();

}  // namespace quorbix::path
