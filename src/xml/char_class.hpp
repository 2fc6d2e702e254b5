// Byte classes of the XML reader.
#pragma once

namespace quorbix::xml {

// XML white space: exactly space, tab, line feed and carriage return.
inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace quorbix::xml
