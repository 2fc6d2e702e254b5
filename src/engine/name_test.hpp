// Whether an element's name passes a path component's name test.
#pragma once

#include <string>
#include <string_view>

#include "path/compiled_path.hpp"
#include "path/glob.hpp"
#include "xml/byte_search.hpp"
#include "xml/character_data.hpp"
#include "xml/namespace_scope.hpp"
#include "xml/qualified_name.hpp"

namespace quorbix::engine {

// A component whose name holds a ':' is tested against the qualified name,
// any other against the local name; patterns are matched as UTF-8 (bytes
// that are not UTF-8 read as U+FFFD).
[[gnu::always_inline]] inline bool name_matches(const path::PathStep& step,
                                                std::string_view qualified) {
    if (step.kind == path::StepKind::ElementExact) {
        const std::string& name = step.name;
        if (step.qualified || qualified.size() == name.size())
            return xml::same_bytes(qualified, name);
        return xml::prefixed_local_name_is(qualified, name);
    }
    std::string_view subject = step.qualified ? qualified : xml::local_name(qualified);
    std::string scratch;
    return path::glob_match(step.name, xml::utf8_text(subject, xml::Encoding::Utf8, scratch));
}

// A step bound to a namespace: the element's local name and the namespace
// its prefix (or the default) stands for in `scope`.
bool name_and_namespace_match(const path::PathStep& step, std::string_view qualified,
                              const xml::NamespaceScope& scope);

// The name test where a step may test namespaces: `scope` is null when the
// scan keeps none (no step it runs tests them).
[[gnu::always_inline]] inline bool name_matches(const path::PathStep& step,
                                                std::string_view qualified,
                                                const xml::NamespaceScope* scope) {
    if (!step.by_uri) [[likely]]
        return name_matches(step, qualified);
    return scope != nullptr && name_and_namespace_match(step, qualified, *scope);
}

}  // namespace quorbix::engine
