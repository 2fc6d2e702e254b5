#include "xml/doctype.hpp"

#include "xml/byte_search.hpp"
#include "xml/char_class.hpp"

namespace quorbix::xml {

// Past one piece of markup of the subset, from its '<': a comment, a
// processing instruction, or a markup declaration (<!ELEMENT, <!ATTLIST,
// <!ENTITY, <!NOTATION), which ends at its first '>' outside quoted literals.
// Nullptr when the input ends first.
const char* past_subset_markup(const char* lt, const char* end) {
    if (starts_with(lt, end, "<!--")) {
        const char* close = find_terminator(lt + 4, end, "-->");
        return close == nullptr ? nullptr : close + 3;
    }
    if (starts_with(lt, end, "<?")) {
        const char* close = find_terminator(lt + 2, end, "?>");
        return close == nullptr ? nullptr : close + 2;
    }
    const char* gt = find_tag_end(lt + 1, end);
    return gt == nullptr ? nullptr : gt + 1;
}

namespace {

// The ']' that closes the internal subset opened just before `p`. Between
// pieces of markup stand only white space and parameter-entity references
// (%name;), which hold neither '<' nor ']'.
const char* find_subset_end(const char* p, const char* end) {
    while (p < end) {
        if (*p == ']') return p;
        if (*p != '<') {
            ++p;
        } else if ((p = past_subset_markup(p, end)) == nullptr) {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

const char* find_doctype_end(const char* p, const char* end) {
    // The name and the external identifier, whose quoted literals may hold
    // '[' and '>'; then the subset, if any; then the '>'.
    for (; p < end; ++p) {
        char c = *p;
        if (c == '"' || c == '\'') {
            p = find_byte(p + 1, end, c);
        } else if (c == '[') {
            p = find_subset_end(p + 1, end);
        } else if (c == '>') {
            return p;
        }
        if (p == nullptr) return nullptr;
    }
    return nullptr;
}

bool doctype_names_no_root(std::string_view content) {
    while (!content.empty() && is_space(content.back())) content.remove_suffix(1);
    return content.empty() || content.front() == '[';
}

}  // namespace quorbix::xml
