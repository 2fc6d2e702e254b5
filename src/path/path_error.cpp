#include "path/path_error.hpp"

#include <optional>

#include "path/unquoted_scan.hpp"
#include "text/quote_literal.hpp"

namespace quorbix::path {
namespace {

// Where the caret of an unmatched parenthesis goes: the ')' that takes the
// depth below zero, else the last '(' opened from depth zero. Backslashes and
// quoted regions are skipped as the top-level cut skips them.
std::optional<std::size_t> unmatched_paren_position(std::string_view text) {
    int depth = 0;
    std::optional<std::size_t> last_outer_open, below_zero;
    scan_unquoted(text, 0, [&](std::size_t i) {
        if (text[i] == '(' && depth++ == 0) last_outer_open = i;
        if (text[i] == ')' && --depth < 0) below_zero = i;
        return !below_zero;
    });
    return below_zero ? below_zero : last_outer_open;
}

std::optional<std::size_t> find(std::string_view text, std::string_view needle) {
    std::size_t at = text.find(needle);
    if (at == std::string_view::npos) return std::nullopt;
    return at;
}

std::optional<std::size_t> caret_position(const PathError& error, std::string_view text) {
    switch (error.kind) {
        case PathErrorKind::BadIndex:
        case PathErrorKind::MissingOperator:
            return find(text, error.payload);
        case PathErrorKind::AttributeNotLast:
        case PathErrorKind::MissingAttributeName:
            return find(text, "@");
        case PathErrorKind::TextNotLast:
            return find(text, "#text");
        case PathErrorKind::UnmatchedParen:
            return unmatched_paren_position(text);
        case PathErrorKind::UnknownModifier:
            return find(text, "@" + error.payload);
        case PathErrorKind::EmptyModifierName:
            return find(text, "|");
        case PathErrorKind::RecursiveWithoutName:
        case PathErrorKind::RecursiveWithSelector:
            return find(text, "**");
        case PathErrorKind::UnboundPrefix:
            return find(text, error.payload + ":");
        default:
            return std::nullopt;
    }
}

}  // namespace

std::string error_text(const PathError& error) {
    switch (error.kind) {
        case PathErrorKind::EmptyPath:
            return "empty path";
        case PathErrorKind::BadIndex:
            return "bad index: " + error.payload;
        case PathErrorKind::IndexWithoutName:
            return "index without preceding name";
        case PathErrorKind::EachWithoutName:
            return "# without preceding name";
        case PathErrorKind::AttributeNotLast:
            return "@attr must be the last component";
        case PathErrorKind::TextNotLast:
            return "#text must be the last component";
        case PathErrorKind::MissingAttributeName:
            return "@ must be followed by an attribute name";
        case PathErrorKind::UnmatchedParen:
            return "unmatched ( in filter";
        case PathErrorKind::MissingOperator:
            return "filter expression missing operator: " + error.payload;
        case PathErrorKind::UnknownModifier:
            return "unknown modifier: @" + error.payload;
        case PathErrorKind::EmptyModifierName:
            return "modifier name is empty";
        case PathErrorKind::RecursiveWithoutName:
            return "** must be followed by an element name";
        case PathErrorKind::RecursiveWithSelector:
            return "** does not accept an explicit selector (no index/#/filter)";
        case PathErrorKind::UnboundPrefix:
            return "prefix not in namespaces: " + error.payload;
    }
    return "invalid path";
}

std::string error_message(const PathError& error, std::string_view path_text) {
    std::string message = error_text(error);
    message += "\n  in path: ";
    message += text::quote_literal(path_text);
    if (auto position = caret_position(error, path_text)) {
        // Eleven columns of "  in path: " and the opening quote.
        message += '\n';
        message.append(*position + 12, ' ');
        message += '^';
    }
    return message;
}

}  // namespace quorbix::path
