#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "path/glob.hpp"
#include "text/utf8.hpp"

namespace quorbix::path {
namespace {

std::size_t unit(std::string_view s, std::size_t i) {
    std::uint32_t cp;
    std::size_t length = text::decode_code_point(s, i, cp);
    return length > 0 ? length : 1;
}

// Tries every split for every star.
bool reference_match(std::string_view p, std::string_view s) {
    if (p.empty()) return s.empty();
    if (p[0] == '*') {
        for (std::size_t i = 0;; i += unit(s, i)) {
            if (reference_match(p.substr(1), s.substr(i))) return true;
            if (i == s.size()) return false;
        }
    }
    if (s.empty()) return false;
    std::size_t s_len = unit(s, 0);
    if (p[0] == '?') return reference_match(p.substr(1), s.substr(s_len));
    std::size_t literal = p[0] == '\\' && p.size() > 1 ? 1 : 0;
    std::size_t p_len = unit(p, literal);
    return p.substr(literal, p_len) == s.substr(0, s_len) &&
           reference_match(p.substr(literal + p_len), s.substr(s_len));
}

TEST(GlobMatch, Table) {
    struct Case {
        const char* pattern;
        const char* subject;
        bool match;
    };
    const Case cases[] = {
        {"a*b*a", "abba", true},
        {"a*b*a", "aba", true},
        {"*ab", "aab", true},
        {"a*a", "a", false},
        {"*a*", "", false},
        {"\\?", "?", true},
        {"\\?", "a", false},
        {"*\\", "a\\", true},
        {"\\\xC3\xA9*", "\xC3\xA9", true},
        {"\xC3*", "\xC3\xA9", false},
        {"*\xA9", "\xC3\xA9", false},
        {"\xC3\\\xA9", "\xC3\xA9", false},
        {"?\xA9", "\xC3\xA9", false},
        {"*\xFF?", "a\xFF\xFF", true},
        {"*?\xA9*", "\xC3\xA9", false},
        {"*b?*?", "ab\xC3\xA9", false},
        {"*b?*?", "ab\xC3\xA9z", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(glob_match(c.pattern, c.subject), c.match) << c.pattern << " / " << c.subject;
        EXPECT_EQ(reference_match(c.pattern, c.subject), c.match)
            << c.pattern << " / " << c.subject;
    }
}

TEST(GlobMatch, AgreesWithReference) {
    const std::vector<std::string> alphabet = {"a",  "b",        "*",    "?",
                                               "\\", "\xC3\xA9", "\xFF", "\xC3"};
    std::mt19937 rng(1);
    auto pick = [&] { return alphabet[rng() % alphabet.size()]; };
    for (int i = 0; i < 20000; ++i) {
        std::string pattern, subject;
        for (int n = rng() % 8; n > 0; --n) pattern += pick();
        if (i % 2 == 0) {
            for (int n = rng() % 10; n > 0; --n) subject += pick();
        } else {
            // Fill the pattern in, so that many cases match.
            for (std::size_t p = 0; p < pattern.size();) {
                std::size_t length = unit(pattern, p);
                if (pattern[p] == '*') {
                    for (int n = rng() % 3; n > 0; --n) subject += pick();
                } else if (pattern[p] == '?') {
                    subject += pick();
                } else if (pattern[p] == '\\' && p + 1 < pattern.size()) {
                    length = 1 + unit(pattern, p + 1);
                    subject += pattern.substr(p + 1, length - 1);
                } else {
                    subject += pattern.substr(p, length);
                }
                p += length;
            }
        }
        EXPECT_EQ(glob_match(pattern, subject), reference_match(pattern, subject))
            << pattern << " / " << subject;
    }
}

TEST(GlobMatch, LongSubjectsRunInLinearTime) {
    const std::string subject(200000, 'a');
    EXPECT_FALSE(glob_match("*" + std::string(1000, 'a') + "b", subject));
    EXPECT_TRUE(glob_match("*" + std::string(1000, 'a'), subject));
    std::string stars;
    for (int i = 0; i < 1000; ++i) stars += "*a";
    EXPECT_FALSE(glob_match(stars + "*b", subject));
    EXPECT_TRUE(glob_match(stars + "*", subject));
    EXPECT_FALSE(glob_match("*" + std::string(1000, '?') + "b", subject));
}

}  // namespace
}  // namespace quorbix::path
