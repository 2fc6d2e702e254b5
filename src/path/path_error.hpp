// Errors of path compilation and the message a user sees for them.
#pragma once

#include <string>
#include <string_view>

namespace quorbix::path {

enum class PathErrorKind {
    EmptyPath,
    BadIndex,
    IndexWithoutName,
    EachWithoutName,
    AttributeNotLast,
    TextNotLast,
    MissingAttributeName,
    UnmatchedParen,
    MissingOperator,
    UnknownModifier,
    EmptyModifierName,
    RecursiveWithoutName,
    RecursiveWithSelector,
    UnboundPrefix,
};

struct PathError {
    PathErrorKind kind;
    std::string payload;  // BadIndex, MissingOperator, UnknownModifier, UnboundPrefix
};

// The error's own text: "bad index: 99999999999999999999".
std::string error_text(const PathError& error);

// The full message: the error text, "\n  in path: ", the path as a quoted
// literal and, where the error has a position in the text, a caret line.
std::string error_message(const PathError& error, std::string_view path_text);

}  // namespace quorbix::path
