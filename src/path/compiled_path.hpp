// The compiled form of a path text: plain immutable data that the evaluators
// walk. It is shared by reference counting (atomic, as a compiled path may be
// released on another thread than the one that made it).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorbix::path {

enum class StepKind : std::uint8_t { ElementExact, ElementGlob, Attribute, Text };

enum class Selector : std::uint8_t { None, Index, EachCount, EachAll, FilterFirst, FilterAll };

enum class Modifier : std::uint8_t {
    Reverse,
    First,
    Last,
    Count,
    Sort,
    SortNumeric,
    Unique,
    Flatten,
    ToStr,
    Sum,
    Mean,
    Min,
    Max,
};

enum class FinalCapture : std::uint8_t { Span, OwnedText, CountOnly };

enum class FilterOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge, Like, NotLike };

struct FilterExpr;

struct PathStep {
    StepKind kind = StepKind::ElementExact;
    // ElementExact and Attribute: the name with escapes removed; ElementGlob:
    // the pattern as written, escapes kept; Text: empty.
    std::string name;
    Selector selector = Selector::None;
    std::uint64_t index = 0;                   // for Selector::Index
    std::shared_ptr<const FilterExpr> filter;  // for FilterFirst and FilterAll
    bool recursive = false;                    // written after **: any depth
    // Element steps whose name holds a ':' test the qualified name, the rest
    // the local name; decided once here rather than per element.
    bool qualified = false;

    bool is_element() const {
        return kind == StepKind::ElementExact || kind == StepKind::ElementGlob;
    }
};

// Number, String or Bool, in this order.
using FilterValue = std::variant<double, std::string, bool>;

struct FilterExpr {
    std::vector<PathStep> lhs;  // may be empty: the candidate element itself
    // Set when `lhs` is exactly one Attribute step: that attribute's name.
    std::optional<std::string> attribute_name;
    FilterOp op = FilterOp::Eq;
    FilterValue value;
};

struct CompiledPath {
    std::vector<PathStep> steps;  // never empty
    std::vector<Modifier> modifiers;
    FinalCapture final_capture = FinalCapture::Span;
};

using CompiledPathRef = std::shared_ptr<const CompiledPath>;

}  // namespace quorbix::path
