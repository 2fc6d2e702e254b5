#include "path/glob.hpp"

#include <string.h>

#include "text/utf8.hpp"

namespace quorbix::path {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The length of the code point at `s[i]`; a byte that starts no well-formed
// sequence counts as one code point of its own.
std::size_t unit_length(std::string_view s, std::size_t i) {
    std::uint32_t cp;
    std::size_t length = text::decode_code_point(s, i, cp);
    return length > 0 ? length : 1;
}

// One step of a pattern: `?`, or one literal code point (`pattern[begin]`,
// `length` bytes), which a backslash may have escaped.
struct Token {
    bool any = false;
    bool escaped = false;
    bool well_formed = true;
    std::size_t begin = 0, length = 0;
};

// Reads the token at `pattern[p]` and returns where the next one starts. A
// backslash at the very end stands for itself.
std::size_t read_token(std::string_view pattern, std::size_t p, Token& token) {
    token.any = pattern[p] == '?';
    if (token.any) return p + 1;
    token.escaped = pattern[p] == '\\' && p + 1 < pattern.size();
    token.begin = token.escaped ? p + 1 : p;
    std::uint32_t cp;
    std::size_t length = text::decode_code_point(pattern, token.begin, cp);
    token.well_formed = length > 0;
    token.length = length > 0 ? length : 1;
    return token.begin + token.length;
}

// A run of tokens between unescaped stars: `pattern[begin, end)`.
struct Piece {
    std::size_t begin = 0, end = 0;
    std::size_t units = 0;  // tokens, each matching one code point
    std::size_t bytes = 0;  // bytes of the literal text, escapes removed
    bool literal = true;    // no `?` and every code point well-formed
    bool escaped = false;   // holds a backslash escape
};

// The piece that starts at `pattern[p]`; it ends at the next unescaped star
// or at the end of the pattern.
Piece read_piece(std::string_view pattern, std::size_t p) {
    Piece piece;
    piece.begin = p;
    Token token;
    while (p < pattern.size() && pattern[p] != '*') {
        p = read_token(pattern, p, token);
        ++piece.units;
        if (token.any) {
            piece.literal = false;
            continue;
        }
        piece.bytes += token.length;
        piece.literal = piece.literal && token.well_formed;
        piece.escaped = piece.escaped || token.escaped;
    }
    piece.end = p;
    return piece;
}

// Matches `piece` against the code points that start at `subject[s]` and
// returns where the match ends, or npos.
std::size_t match_at(std::string_view pattern, const Piece& piece, std::string_view subject,
                     std::size_t s) {
    Token token;
    for (std::size_t p = piece.begin; p < piece.end;) {
        if (s >= subject.size()) return npos;
        p = read_token(pattern, p, token);
        std::size_t length = unit_length(subject, s);
        if (!token.any && subject.substr(s, length) != pattern.substr(token.begin, token.length))
            return npos;
        s += length;
    }
    return s;
}

// Finds the leftmost match of `piece` that starts at or after `subject[from]`
// (a code point boundary) and returns where it ends, or npos.
//
// A literal piece is searched for as bytes: its first byte is no continuation
// byte, so any occurrence starts on a code point boundary, and since its code
// points are well-formed the subject splits there into the same code points.
std::size_t find_piece(std::string_view pattern, const Piece& piece, std::string_view subject,
                       std::size_t from) {
    if (piece.units == 0) return from;
    char unescaped[256];
    if (piece.literal && (!piece.escaped || piece.bytes <= sizeof unescaped)) {
        const char* needle = pattern.data() + piece.begin;
        if (piece.escaped) {
            Token token;
            std::size_t n = 0;
            for (std::size_t p = piece.begin; p < piece.end;) {
                p = read_token(pattern, p, token);
                pattern.copy(unescaped + n, token.length, token.begin);
                n += token.length;
            }
            needle = unescaped;
        }
        const void* hit =
            ::memmem(subject.data() + from, subject.size() - from, needle, piece.bytes);
        if (hit == nullptr) return npos;
        return static_cast<std::size_t>(static_cast<const char*>(hit) - subject.data()) +
               piece.bytes;
    }
    // Each code point takes at least one byte, so the tries stop once fewer
    // bytes than the piece has tokens remain.
    for (std::size_t s = from; subject.size() - s >= piece.units; s += unit_length(subject, s)) {
        std::size_t end = match_at(pattern, piece, subject, s);
        if (end != npos) return end;
    }
    return npos;
}

// Whether `piece` matches the end of `subject` without starting before
// `subject[from]` (a code point boundary).
bool match_suffix(std::string_view pattern, const Piece& piece, std::string_view subject,
                  std::size_t from) {
    std::size_t start;
    if (piece.literal) {
        // A literal has a fixed length in bytes; where it matches, the start
        // is a code point boundary (see find_piece).
        if (subject.size() - from < piece.bytes) return false;
        start = subject.size() - piece.bytes;
    } else {
        // Otherwise count the code points left and skip all but the piece's.
        std::size_t units = 0;
        for (std::size_t s = from; s < subject.size(); s += unit_length(subject, s)) ++units;
        if (units < piece.units) return false;
        start = from;
        for (std::size_t skip = units - piece.units; skip > 0; --skip)
            start += unit_length(subject, start);
    }
    return match_at(pattern, piece, subject, start) == subject.size();
}

}  // namespace

// The pattern splits at its unescaped stars into pieces. The first must match
// at the start, the last at the end, and each one between at its leftmost
// occurrence after the one before. A piece spans a fixed number of code
// points, so its leftmost occurrence also ends first, which leaves the most
// room to the pieces after it: no other choice needs to be tried.
bool glob_match(std::string_view pattern, std::string_view subject) {
    Piece piece = read_piece(pattern, 0);
    std::size_t s = match_at(pattern, piece, subject, 0);
    if (piece.end == pattern.size()) return s == subject.size();
    if (s == npos) return false;
    for (;;) {
        piece = read_piece(pattern, piece.end + 1);
        if (piece.end == pattern.size()) return match_suffix(pattern, piece, subject, s);
        s = find_piece(pattern, piece, subject, s);
        if (s == npos) return false;
    }
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
