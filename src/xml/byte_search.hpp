// The reader's byte searches. Most runs between markup bytes are short (a
// name, an attribute list, the white space between two tags), where a call
// into memchr costs more than the search; so the first bytes are searched
// inline, sixteen at a time, and long runs go to the C library.
#pragma once

#include <cstring>

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
    return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
}

// The first '>', '"' or '\'' in [p, end), or nullptr: where a start tag ends
// or a quoted attribute value begins.
inline const char* find_tag_end_or_quote(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i dq = _mm_set1_epi8('"');
    const __m128i sq = _mm_set1_epi8('\'');
    for (; end - p >= 16; p += 16) {
        __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits =
            _mm_or_si128(_mm_cmpeq_epi8(chunk, gt),
                         _mm_or_si128(_mm_cmpeq_epi8(chunk, dq), _mm_cmpeq_epi8(chunk, sq)));
        int mask = _mm_movemask_epi8(hits);
        if (mask != 0) return detail::first_set(p, mask);
    }
#endif
    for (; p < end; ++p)
        if (*p == '>' || *p == '"' || *p == '\'') return p;
    return nullptr;
}

}  // namespace quorbix::xml
