// The compiled form of a path text: plain immutable data that the evaluators
// walk. It is shared by reference counting (atomic, as a compiled path may be
// released on another thread than the one that made it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace quorbix::path {

// ElementInNamespace: a step compiled under a namespace mapping that tests
// the namespace a name is in (`uri`) and its local name (`name`, a pattern
// when `glob`).
enum class StepKind : std::uint8_t {
    ElementExact,
    ElementGlob,
    ElementInNamespace,
    Attribute,
    Text
};

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

// What a path answers, known from its text alone. A path that goes on from
// each of several matches (`#` or `#(...)#`) answers a list, even of one match
// or none, so that code reading it need not depend on how many there were; a
// count or a numeric modifier answers one number; a first or last modifier
// one match. Other paths answer what they find: one match, or several.
enum class AnswerShape : std::uint8_t { Single, List, Number };

enum class FilterOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge, Like, NotLike };

struct FilterExpr;
class NamespaceMap;

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
    // Compiled with a namespace mapping, a step whose prefix it binds (or an
    // unprefixed one, when it names a default) tests the namespace a name is
    // in: `uri` (empty: no namespace) and the local name in `name`.
    bool by_uri = false;
    bool glob = false;  // ElementInNamespace: `name` is a pattern
    std::string uri;

    bool is_element() const {
        return kind == StepKind::ElementExact || kind == StepKind::ElementGlob ||
               kind == StepKind::ElementInNamespace;
    }
};

// Number, String or Bool, in this order.
using FilterValue = std::variant<double, std::string, bool>;

// How a filter reads its value from a candidate, decided once when it is
// compiled: the candidate's own text (an empty left side), one attribute of
// its start tag, the text of its first child of one plain name, or the first
// answer of a path of its own.
enum class FilterShape : std::uint8_t { OwnText, Attribute, OneChild, General };

struct FilterExpr {
    std::vector<PathStep> lhs;  // may be empty: the candidate element itself
    FilterShape shape = FilterShape::General;
    FilterOp op = FilterOp::Eq;
    FilterValue value;
};

struct CompiledPath {
    std::vector<PathStep> steps;  // never empty
    std::vector<Modifier> modifiers;
    FinalCapture final_capture = FinalCapture::Span;
    AnswerShape answer_shape = AnswerShape::Single;  // derived from steps and modifiers
    // Compiled under a namespace mapping: its scans keep the declarations in
    // scope, and its matches carry them for every later read. The mapping,
    // by which a table names the columns it finds.
    bool namespaced = false;
    std::shared_ptr<const NamespaceMap> namespaces;
};

using CompiledPathRef = std::shared_ptr<const CompiledPath>;

}  // namespace quorbix::path
