// The scan the path language uses to find its structure characters ('(',
// ')', '|'): backslash escapes and quoted regions hide what they hold.
#pragma once

#include <string_view>

namespace quorbix::path {

// Calls `visit(i)` for every byte of `text` from `from` on that is neither
// escaped by a backslash nor inside a '...' or "..." region (the quote
// characters themselves included), until `visit` returns false. A quoted
// region that never closes hides the rest of the text.
template <class Visit>
void scan_unquoted(std::string_view text, std::size_t from, Visit visit) {
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i;
        } else if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (!visit(i)) {
            return;
        }
    }
}

}  // namespace quorbix::path
