#include "path/glob.hpp"

#include "xml/text/utf8.hpp"

namespace quorbix::path {
namespace {

// The length of the code point at `s[i]`; a byte that starts no well-formed
// sequence counts as one code point of its own.
std::size_t unit_length(std::string_view s, std::size_t i) {
    std::uint32_t cp;
    std::size_t length = xml::decode_code_point(s, i, cp);
    return length > 0 ? length : 1;
}

}  // namespace

bool glob_match(std::string_view pattern, std::string_view subject) {
    std::size_t p = 0, s = 0;
    // The last star seen: where the pattern resumes after it, and the subject
    // position it has been tried against so far.
    bool backtrack = false;
    std::size_t star_resume = 0, star_subject = 0;
    while (s < subject.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            backtrack = true;
            star_resume = ++p;
            star_subject = s;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t s_len = unit_length(subject, s);
            if (pattern[p] == '?') {
                ++p;
                s += s_len;
                continue;
            }
            std::size_t literal = p;
            if (pattern[p] == '\\' && p + 1 < pattern.size()) ++literal;
            std::size_t p_len = unit_length(pattern, literal);
            if (subject.substr(s, s_len) == pattern.substr(literal, p_len)) {
                p = literal + p_len;
                s += s_len;
                continue;
            }
        }
        if (!backtrack) return false;
        star_subject += unit_length(subject, star_subject);
        s = star_subject;
        p = star_resume;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool has_unescaped_wildcard(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '*' || text[i] == '?')
            return true;
    }
    return false;
}

std::string remove_escapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            if (++i == text.size()) break;
        }
        out += text[i];
    }
    return out;
}

}  // namespace quorbix::path
