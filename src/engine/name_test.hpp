// Whether an element's name passes a path component's name test.
#pragma once

#include <string>
#include <string_view>

#include "path/compiled_path.hpp"
#include "path/glob.hpp"
#include "xml/byte_search.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {

// The name without its namespace prefix: what follows the last ':'.
inline std::string_view local_name(std::string_view qualified) {
    std::size_t colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// Whether `qualified` has a prefix and `name`, which holds no ':', after it:
// the local name equals such a name exactly when the qualified name ends in
// ':' and that name.
inline bool prefixed_local_name_is(std::string_view qualified, std::string_view name) {
    std::size_t prefix = qualified.size() - name.size();
    return qualified.size() > name.size() && qualified[prefix - 1] == ':' &&
           xml::same_bytes(qualified.substr(prefix), name);
}

// A component whose name holds a ':' is tested against the qualified name,
// any other against the local name; patterns are matched as UTF-8 (bytes
// that are not UTF-8 read as U+FFFD).
[[gnu::always_inline]] inline bool name_matches(const path::PathStep& step,
                                                std::string_view qualified) {
    if (step.kind == path::StepKind::ElementExact) {
        const std::string& name = step.name;
        if (step.qualified || qualified.size() == name.size())
            return xml::same_bytes(qualified, name);
        return prefixed_local_name_is(qualified, name);
    }
    std::string_view subject = step.qualified ? qualified : local_name(qualified);
    std::string scratch;
    return path::glob_match(step.name, xml::utf8_text(subject, xml::Encoding::Utf8, scratch));
}

}  // namespace quorbix::engine
