// The written names of the modifiers.
#pragma once

#include <optional>
#include <string_view>

#include "path/compiled_path.hpp"

namespace quorbix::path {

// The modifier a name (without its '@') stands for; case-sensitive, exact.
std::optional<Modifier> modifier_named(std::string_view name);

}  // namespace quorbix::path
