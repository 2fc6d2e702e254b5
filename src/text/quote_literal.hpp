// Writing a text as a double-quoted literal, the form path error messages and
// reprs show.
#pragma once

#include <string>
#include <string_view>

namespace quorbix::text {

// The text between double quotes: backslash, double quote, tab, carriage
// return, line feed and NUL escaped with a backslash; other control
// characters, non-printable code points and combining marks as \u{hex}; every
// other character (the single quote included) as itself. Bytes that are not
// UTF-8 are written as \u{fffd}.
std::string quote_literal(std::string_view utf8);

}  // namespace quorbix::text
