// The parts of a qualified name: a namespace prefix, then ':' and the local name.
#pragma once

#include <string_view>

#include "xml/byte_search.hpp"

namespace quorbix::xml {

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
           same_bytes(qualified.substr(prefix), name);
}

}  // namespace quorbix::xml
