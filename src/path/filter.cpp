#include "path/filter.hpp"

#include <optional>

#include "path/glob.hpp"
#include "path/parser.hpp"
#include "path/unquoted_scan.hpp"
#include "text/numbers.hpp"
#include "text/white_space.hpp"

namespace quorbix::path {
namespace {

// Filters nest through their left sides, and each level compiles the next on
// the call stack; past this depth a filter is refused as unbalanced, so no
// path text can exhaust the stack.
constexpr int max_filter_depth = 64;

bool is_operator_start(char c) {
    return c == '!' || c == '%' || c == '<' || c == '=' || c == '>';
}

// The first operator character outside quoted regions, escapes and nested
// filters: quotes are read as the path's structure scan reads them, and a
// balanced inner "#( ... )" is stepped over whole.
std::optional<std::size_t> find_operator(std::string_view text) {
    std::optional<std::size_t> found;
    std::size_t nested = 0;
    scan_unquoted(text, 0, [&](std::size_t i) {
        char c = text[i];
        if (c == '(' && i > 0 && text[i - 1] == '#') {
            ++nested;
        } else if (c == ')' && nested > 0) {
            --nested;
        } else if (nested == 0 && is_operator_start(c)) {
            found = i;
            return false;
        }
        return true;
    });
    return found;
}

struct OperatorSpelling {
    std::string_view written;
    FilterOp op;
};

// Two-character spellings first: they win over their first character.
constexpr OperatorSpelling operators[] = {
    {"==", FilterOp::Eq}, {"!=", FilterOp::Ne},      {"<=", FilterOp::Le},
    {">=", FilterOp::Ge}, {"!%", FilterOp::NotLike}, {"%", FilterOp::Like},
    {"<", FilterOp::Lt},  {"=", FilterOp::Eq},       {">", FilterOp::Gt},
};

FilterValue read_value(std::string_view text) {
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') &&
        text.back() == text.front())
        return remove_escapes(text.substr(1, text.size() - 2));
    if (text == "true") return true;
    if (text == "false") return false;
    if (auto number = text::read_double(text)) return *number;
    return std::string(text);
}

bool compare_numbers(double a, FilterOp op, double b) {
    switch (op) {
        case FilterOp::Eq:
            return a == b;
        case FilterOp::Ne:
            return a != b;
        case FilterOp::Lt:
            return a < b;
        case FilterOp::Le:
            return a <= b;
        case FilterOp::Gt:
            return a > b;
        case FilterOp::Ge:
            return a >= b;
        default:
            return false;
    }
}

FilterShape shape_of(const std::vector<PathStep>& lhs) {
    if (lhs.empty()) return FilterShape::OwnText;
    if (lhs.size() != 1) return FilterShape::General;
    const PathStep& left = lhs[0];
    if (left.kind == StepKind::Attribute) return FilterShape::Attribute;
    bool plain = left.is_element() && left.selector == Selector::None && !left.recursive;
    return plain ? FilterShape::OneChild : FilterShape::General;
}

bool like(std::string_view text, const std::string& pattern) {
    if (has_unescaped_wildcard(pattern)) return glob_match(pattern, text);
    return text == remove_escapes(pattern);
}

}  // namespace

std::variant<std::shared_ptr<const FilterExpr>, PathError> compile_filter(std::string_view text,
                                                                          int depth) {
    if (depth > max_filter_depth) return PathError{PathErrorKind::UnmatchedParen, {}};
    auto at = find_operator(text);
    if (!at) return PathError{PathErrorKind::MissingOperator, std::string(text)};
    std::string_view rest = text.substr(*at);
    const OperatorSpelling* spelling = nullptr;
    for (const OperatorSpelling& candidate : operators) {
        if (rest.substr(0, candidate.written.size()) == candidate.written) {
            spelling = &candidate;
            break;
        }
    }
    if (spelling == nullptr)  // a '!' not followed by '=' or '%'
        return PathError{PathErrorKind::MissingOperator, std::string(rest)};

    std::string_view left = text::trim_white_space(text.substr(0, *at));
    if (left.empty()) return PathError{PathErrorKind::EmptyPath, {}};
    auto lhs = parse_steps(left, depth);
    if (auto* e = std::get_if<PathError>(&lhs)) return std::move(*e);

    auto filter = std::make_shared<FilterExpr>();
    filter->lhs = std::move(std::get<std::vector<PathStep>>(lhs));
    filter->shape = shape_of(filter->lhs);
    filter->op = spelling->op;
    filter->value = read_value(text::trim_white_space(rest.substr(spelling->written.size())));
    return std::shared_ptr<const FilterExpr>(std::move(filter));
}

bool filter_compare(std::string_view text, FilterOp op, const FilterValue& value) {
    if (op == FilterOp::Ne) return !filter_compare(text, FilterOp::Eq, value);
    if (const double* number = std::get_if<double>(&value)) {
        if (op == FilterOp::Like || op == FilterOp::NotLike) return false;
        auto read = text::read_double(text::trim_white_space(text));
        return read && compare_numbers(*read, op, *number);
    }
    if (const bool* flag = std::get_if<bool>(&value)) {
        return op == FilterOp::Eq && text == (*flag ? "true" : "false");
    }
    const std::string& s = std::get<std::string>(value);
    switch (op) {
        case FilterOp::Eq:
            return text == s;
        case FilterOp::Like:
            return like(text, s);
        case FilterOp::NotLike:
            return !like(text, s);
        default: {
            auto a = text::read_double(text::trim_white_space(text));
            auto b = text::read_double(text::trim_white_space(s));
            return a && b && compare_numbers(*a, op, *b);
        }
    }
}

}  // namespace quorbix::path
