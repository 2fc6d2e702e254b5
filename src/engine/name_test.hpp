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

// Whether the name after the prefix of `qualified`, if any, is `local`.
[[gnu::always_inline]] inline bool local_name_is(std::string_view qualified,
                                                 std::string_view local) {
    if (qualified.size() == local.size()) return xml::same_bytes(qualified, local);
    return xml::prefixed_local_name_is(qualified, local);
}

// A step bound to a namespace: the element's local name (a pattern's; an
// exact one is tested by the caller) and the namespace its prefix (or the
// default) stands for in `scope`.
bool name_and_namespace_match(const path::PathStep& step, std::string_view qualified,
                              const xml::NamespaceScope& scope);

// A component whose name holds a ':' is tested against the qualified name,
// any other against the local name; patterns are matched as UTF-8 (bytes
// that are not UTF-8 read as U+FFFD). A component bound to a namespace is
// tested in `scope`, the declarations a scan that tests namespaces keeps
// (never passed where there is none).
[[gnu::always_inline]] inline bool name_matches(const path::PathStep& step,
                                                std::string_view qualified,
                                                const xml::NamespaceScope* scope = nullptr) {
    if (step.kind == path::StepKind::ElementExact) {
        const std::string& name = step.name;
        if (step.qualified || qualified.size() == name.size())
            return xml::same_bytes(qualified, name);
        return xml::prefixed_local_name_is(qualified, name);
    }
    if (step.kind == path::StepKind::ElementInNamespace) [[unlikely]] {
        // Most names fail on their local part, which costs no lookup.
        if (!step.glob && !local_name_is(qualified, step.name)) return false;
        return scope != nullptr && name_and_namespace_match(step, qualified, *scope);
    }
    std::string_view subject = step.qualified ? qualified : xml::local_name(qualified);
    std::string scratch;
    return path::glob_match(step.name, xml::utf8_text(subject, xml::Encoding::Utf8, scratch));
}

}  // namespace quorbix::engine
