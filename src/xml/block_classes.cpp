#include "xml/block_classes.hpp"

#include <atomic>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define QUORBIX_X86 1
#endif

namespace quorbix::xml {
namespace {

// Bit i of the result: an odd number of set bits among bits 0 to i.
std::uint64_t prefix_parity(std::uint64_t bits) {
    for (unsigned shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
    return bits;
}

// The masks of a block from the bits of its classes, the parities made by
// `parity`, a prefix parity.
template <std::uint64_t (*parity)(std::uint64_t)>
[[gnu::always_inline]] inline BlockMasks masks_of(std::uint64_t lt, std::uint64_t gt,
                                                  std::uint64_t space, std::uint64_t quot,
                                                  std::uint64_t apos) {
    // From the block's start, set from each '<' to before the next '>'
    // when they alternate; a '<' or a '\'' under a set bit, or a '>' under a
    // clear one, breaks the pairing.
    const std::uint64_t inside = parity(lt | gt);
    std::uint8_t paired = 0;
    if (((lt & ~inside) | ((gt | apos) & inside)) == 0) paired |= BlockMasks::paired_from_start;
    // From inside a tag, with no '<' before the first '>': the same, flipped.
    const std::uint64_t through_first_gt = gt ^ (gt - 1);
    if (gt != 0 && (lt & through_first_gt) == 0 &&
        (((lt & inside) | ((gt | apos) & ~inside)) & ~through_first_gt) == 0)
        paired |= BlockMasks::paired_after_first_gt;
    return {lt, gt, space, apos, parity(quot), paired};
}

void classify_bytewise(const char* blocks, std::size_t count, BlockMasks* masks) {
    for (std::size_t b = 0; b < count; ++b, blocks += 64) {
        std::uint64_t lt = 0, gt = 0, space = 0, quot = 0, apos = 0;
        for (unsigned i = 0; i < 64; ++i) {
            std::uint64_t bit = std::uint64_t{1} << i;
            switch (blocks[i]) {
                case '<':
                    lt |= bit;
                    break;
                case '>':
                    gt |= bit;
                    break;
                case '"':
                    quot |= bit;
                    break;
                case '\'':
                    apos |= bit;
                    break;
                case ' ':
                case '\t':
                case '\n':
                case '\r':
                    space |= bit;
                    break;
                default:
                    break;
            }
        }
        masks[b] = masks_of<prefix_parity>(lt, gt, space, quot, apos);
    }
}

#if QUORBIX_X86

// White space by table: a byte whose low four bits index the table is white
// space exactly when it equals the entry there (a byte of 0x80 or more looks
// up zero, which it never equals).
alignas(64) constexpr char space_table[64] = {
    ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,  //
    ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,  //
    ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,  //
    ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,
};

std::uint64_t lanes(unsigned m0, unsigned m1, unsigned m2, unsigned m3) {
    return std::uint64_t{m0} | std::uint64_t{m1} << 16 | std::uint64_t{m2} << 32 |
           std::uint64_t{m3} << 48;
}

void classify_sse2(const char* blocks, std::size_t count, BlockMasks* masks) {
    for (std::size_t b = 0; b < count; ++b, blocks += 64) {
        unsigned lt[4], gt[4], quot[4], apos[4], space[4];
        for (int i = 0; i < 4; ++i) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i));
            auto bits = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
            lt[i] = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')));
            gt[i] = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('>')));
            quot[i] = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
            apos[i] = bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\'')));
            space[i] = bits(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')),
                                                      _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                      _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')))));
        }
        masks[b] = masks_of<prefix_parity>(
            lanes(lt[0], lt[1], lt[2], lt[3]), lanes(gt[0], gt[1], gt[2], gt[3]),
            lanes(space[0], space[1], space[2], space[3]),
            lanes(quot[0], quot[1], quot[2], quot[3]), lanes(apos[0], apos[1], apos[2], apos[3]));
    }
}

// Lambdas do not take on a function's target, so the wide helpers are
// functions of their own.
[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t bits_of(__m256i low,
                                                                         __m256i high) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(low))} |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

[[gnu::target("avx2"), gnu::always_inline]] inline std::uint64_t equal_bits(__m256i low,
                                                                            __m256i high, char c) {
    __m256i n = _mm256_set1_epi8(c);
    return bits_of(_mm256_cmpeq_epi8(low, n), _mm256_cmpeq_epi8(high, n));
}

// A prefix parity by carry-less multiplication with all ones. Not forced
// inline: it is inlined into the classifiers that may use it, once
// `masks_of` is.
[[gnu::target("pclmul")]] inline std::uint64_t clmul_parity(std::uint64_t bits) {
    __m128i product =
        _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(bits)), _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

[[gnu::target("avx2,pclmul")]] void classify_avx2(const char* blocks, std::size_t count,
                                                  BlockMasks* masks) {
    const __m256i table = _mm256_load_si256(reinterpret_cast<const __m256i*>(space_table));
    for (std::size_t b = 0; b < count; ++b, blocks += 64) {
        __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks));
        __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blocks + 32));
        masks[b] = masks_of<clmul_parity>(
            equal_bits(low, high, '<'), equal_bits(low, high, '>'),
            bits_of(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, low), low),
                    _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, high), high)),
            equal_bits(low, high, '"'), equal_bits(low, high, '\''));
    }
}

[[gnu::target("avx512bw"), gnu::always_inline]] inline std::uint64_t equal_bits(__m512i v, char c) {
    return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
}

[[gnu::target("avx512bw,pclmul")]] void classify_avx512(const char* blocks, std::size_t count,
                                                        BlockMasks* masks) {
    const __m512i table = _mm512_load_si512(space_table);
    for (std::size_t b = 0; b < count; ++b, blocks += 64) {
        __m512i v = _mm512_loadu_si512(blocks);
        masks[b] = masks_of<clmul_parity>(equal_bits(v, '<'), equal_bits(v, '>'),
                                          _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(table, v), v),
                                          equal_bits(v, '"'), equal_bits(v, '\''));
    }
}

#endif

Classifier widest_here() {
#if QUORBIX_X86
    __builtin_cpu_init();
    if (runs_here(Classifier::Avx512)) return Classifier::Avx512;
    if (runs_here(Classifier::Avx2)) return Classifier::Avx2;
    return Classifier::Sse2;
#else
    return Classifier::ByteWise;
#endif
}

ClassifyBlocks function_of(Classifier classifier) {
    switch (classifier) {
#if QUORBIX_X86
        case Classifier::Avx512:
            return classify_avx512;
        case Classifier::Avx2:
            return classify_avx2;
        case Classifier::Sse2:
            return classify_sse2;
#endif
        default:
            return classify_bytewise;
    }
}

std::atomic<Classifier> chosen{widest_here()};
std::atomic<ClassifyBlocks> chosen_function{function_of(widest_here())};

}  // namespace

bool runs_here(Classifier classifier) {
    switch (classifier) {
#if QUORBIX_X86
        // A walk that classifies with these uses BMI as well (tag_walker.hpp).
        case Classifier::Avx512:
            return __builtin_cpu_supports("avx512bw") && runs_here(Classifier::Avx2);
        case Classifier::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul") &&
                   __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
        case Classifier::Sse2:
            return true;
#endif
        case Classifier::ByteWise:
            return true;
        default:
            return false;
    }
}

Classifier active_classifier() {
    return chosen.load(std::memory_order_relaxed);
}

ClassifyBlocks active_classify_function() {
    return chosen_function.load(std::memory_order_relaxed);
}

bool use_classifier(Classifier classifier) {
    if (!runs_here(classifier)) return false;
    chosen.store(classifier, std::memory_order_relaxed);
    chosen_function.store(function_of(classifier), std::memory_order_relaxed);
    return true;
}

}  // namespace quorbix::xml
