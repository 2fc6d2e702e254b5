// Entity and character references in text and attribute values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorbix::xml {

// Resolves the five predefined entities and decimal (&#N;) and hexadecimal
// (&#xN;) character references. Text without '&' comes back as it is, with no
// copy; otherwise the result lives in `scratch`. A bad reference gives nothing.
std::optional<std::string_view> unescape_text(std::string_view raw, std::string& scratch);

}  // namespace quorbix::xml
