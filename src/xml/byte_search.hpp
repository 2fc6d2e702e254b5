// The reader's byte searches. Most runs between markup bytes are short (a
// name, an attribute list, the white space between two tags), where a call
// into memchr costs more than the search; so the first bytes are searched
// inline, sixteen at a time, and long runs go to the C library.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorbix::xml {

#if defined(__SSE2__)
namespace detail {

inline const char* first_set(const char* p, int mask) {
    return p + __builtin_ctz(mask);
}

}  // namespace detail
#endif

// Bytes searched inline before a search falls back to memchr.
inline constexpr long inline_search_bytes = 64;

// The first `c` in [p, end), or nullptr.
inline const char* find_byte(const char* p, const char* end, char c) {
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi8(c);
    const char* inline_end = end - p > inline_search_bytes ? p + inline_search_bytes : end;
    for (; inline_end - p >= 16; p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle));
        if (mask != 0) return detail::first_set(p, mask);
    }
#endif
    // An empty range may have no address at all (an empty string_view), and
    // memchr must not be handed a null pointer even for no bytes. A search
    // may also start past its bound (a reader's progress check that a tag
    // has stepped over): nothing is found there.
    if (p >= end) return nullptr;
    return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
}

// Whether [p, end) starts with `prefix`.
inline bool starts_with(const char* p, const char* end, std::string_view prefix) {
    return static_cast<std::size_t>(end - p) >= prefix.size() &&
           std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// The first occurrence of `terminator` ("-->", "]]>", "?>") at or after `p`,
// or nullptr. Each ends in '>', which is rarer in text than its other bytes,
// so the search runs on '>' and looks back.
inline const char* find_terminator(const char* p, const char* end, std::string_view terminator) {
    if (static_cast<std::size_t>(end - p) < terminator.size()) return nullptr;
    std::size_t back = terminator.size() - 1;
    const char* from = p + back;
    while (from < end) {
        const char* gt = static_cast<const char*>(std::memchr(from, '>', end - from));
        if (gt == nullptr) return nullptr;
        if (std::memcmp(gt - back, terminator.data(), back) == 0) return gt - back;
        from = gt + 1;
    }
    return nullptr;
}

// The '>' that ends a start tag: the first one outside quoted attribute
// values, or nullptr. Each chunk is classified once, and its '>' and quote
// positions are walked in order with the quote state carried along.
inline const char* find_tag_end(const char* p, const char* end) {
    char quote = 0;
    auto step = [&quote](char c) {  // true at the tag's end
        if (quote != 0) {
            if (c == quote) quote = 0;
            return false;
        }
        if (c == '>') return true;
        quote = c;
        return false;
    };
#if defined(__SSE2__)
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i dq = _mm_set1_epi8('"');
    const __m128i sq = _mm_set1_epi8('\'');
    for (; end - p >= 16; p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, gt),
                         _mm_or_si128(_mm_cmpeq_epi8(chunk, dq), _mm_cmpeq_epi8(chunk, sq)))));
        for (; mask != 0; mask &= mask - 1) {
            const char* at = p + __builtin_ctz(mask);
            if (step(*at)) return at;
        }
    }
#endif
    for (; p < end; ++p)
        if ((*p == '>' || *p == '"' || *p == '\'') && step(*p)) return p;
    return nullptr;
}

// A start tag that ends within the 16 bytes at `p` (its name's first byte)
// with no quote before its '>': most tags of a document. Both ends come from
// one look at the bytes; false when the tag is not such a one, or fewer than
// 16 bytes are left.
inline bool short_tag(const char* p, const char* end, const char*& gt, const char*& name_end) {
#if defined(__SSE2__)
    if (end - p < 16) return false;
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto equal = [&chunk](char c) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(c))));
    };
    unsigned gts = equal('>');
    if (gts == 0) return false;
    unsigned before_gt = (gts & (~gts + 1)) - 1;  // the bits below the first '>'
    if (((equal('"') | equal('\'')) & before_gt) != 0) return false;
    unsigned spaces = (equal(' ') | equal('\n') | equal('\t') | equal('\r')) & before_gt;
    gt = detail::first_set(p, static_cast<int>(gts));
    name_end = spaces != 0 ? detail::first_set(p, static_cast<int>(spaces)) : gt;
    return true;
#else
    (void)p, (void)end, (void)gt, (void)name_end;
    return false;
#endif
}

// Whether two byte strings are equal. Names are short, so an inline loop
// beats a call into memcmp.
[[gnu::always_inline]] inline bool same_bytes(std::string_view a, std::string_view b) {
    std::size_t n = a.size();
    if (n != b.size()) return false;
    const char* p = a.data();
    const char* q = b.data();
    // Two overlapping words cover any length from one word to two.
    auto same_words = [&](auto word) {
        decltype(word) x0, x1, y0, y1;
        std::memcpy(&x0, p, sizeof word);
        std::memcpy(&y0, q, sizeof word);
        std::memcpy(&x1, p + n - sizeof word, sizeof word);
        std::memcpy(&y1, q + n - sizeof word, sizeof word);
        return ((x0 ^ y0) | (x1 ^ y1)) == 0;
    };
    if (n >= 8) return n <= 16 ? same_words(std::uint64_t{}) : std::memcmp(p, q, n) == 0;
    if (n >= 4) return same_words(std::uint32_t{});
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != q[i]) return false;
    return true;
}

// The first XML white space byte in [p, end), or `end`.
inline const char* find_space(const char* p, const char* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(' ')),
                                                 _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'))),
                                    _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t')),
                                                 _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'))));
        int mask = _mm_movemask_epi8(hits);
        if (mask != 0) return detail::first_set(p, mask);
    }
#endif
    while (p < end && *p != ' ' && *p != '\n' && *p != '\t' && *p != '\r') ++p;
    return p;
}

// The first '=' or quote in [p, end), or `end`: in an attribute list, where
// a value is given or a quoted one starts.
inline const char* find_value_mark(const char* p, const char* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('=')),
                                    _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')),
                                                 _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\''))));
        int mask = _mm_movemask_epi8(hits);
        if (mask != 0) return detail::first_set(p, mask);
    }
#endif
    while (p < end && *p != '=' && *p != '"' && *p != '\'') ++p;
    return p;
}

}  // namespace quorbix::xml
