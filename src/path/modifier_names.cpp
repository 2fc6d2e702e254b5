#include "path/modifier_names.hpp"

namespace quorbix::path {
namespace {

struct ModifierName {
    std::string_view name;
    Modifier modifier;
};

constexpr ModifierName modifier_names[] = {
    {"reverse", Modifier::Reverse},   {"first", Modifier::First},
    {"last", Modifier::Last},         {"count", Modifier::Count},
    {"sort", Modifier::Sort},         {"sort_n", Modifier::SortNumeric},
    {"sortn", Modifier::SortNumeric}, {"unique", Modifier::Unique},
    {"uniq", Modifier::Unique},       {"flatten", Modifier::Flatten},
    {"tostr", Modifier::ToStr},       {"sum", Modifier::Sum},
    {"mean", Modifier::Mean},         {"avg", Modifier::Mean},
    {"min", Modifier::Min},           {"max", Modifier::Max},
};

}  // namespace

std::optional<Modifier> modifier_named(std::string_view name) {
    for (const ModifierName& entry : modifier_names)
        if (entry.name == name) return entry.modifier;
    return std::nullopt;
}

}  // namespace quorbix::path
