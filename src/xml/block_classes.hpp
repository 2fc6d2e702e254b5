// The bytes of markup, found 64 at a time: each 64-byte block of a document is
// classified once into one bit mask per class of byte, and the tag walker
// walks those bits instead of the bytes. The widest instructions the
// processor has do the classifying (AVX-512, AVX2, SSE2), chosen when the
// module loads, so one build serves every x86-64 machine; other processors
// classify byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbix::xml {

// Bit i stands for byte i of the block.
struct BlockMasks {
    std::uint64_t lt = 0;     // '<'
    std::uint64_t gt = 0;     // '>'
    std::uint64_t space = 0;  // XML white space: ' ', '\t', '\n', '\r'
    std::uint64_t apos = 0;   // '\''
    // Bit i: an odd number of '"' among bytes 0 to i. Flipped at a tag's '<'
    // when set there, these are the bytes of the "..." values the tag holds,
    // each with its opening quote: a '>' bit under a set bit is quoted.
    std::uint64_t quot_parity = 0;
    // Whether each '<' bit is followed by a '>' bit before the next '<'
    // bit, with no '\'' between them: then each tag is a '<' bit and the
    // next '>' bit, unless an odd number of '"' stands between them (or but
    // for a last '<' whose '>' lies in a later block). One flag for the block
    // from its start, one from past its first '>', which closes a tag open
    // from before.
    std::uint8_t paired = 0;
    static constexpr std::uint8_t paired_from_start = 1;
    static constexpr std::uint8_t paired_after_first_gt = 2;
};

// Classifies the `count` blocks at `blocks` (64 * count readable bytes).
using ClassifyBlocks = void (*)(const char* blocks, std::size_t count, BlockMasks* masks);

// The ways blocks can be classified, widest first; ByteWise runs anywhere.
enum class Classifier : std::uint8_t { Avx512, Avx2, Sse2, ByteWise };

// Whether this processor runs `classifier`.
bool runs_here(Classifier classifier);

// The classifier walks use: the widest this processor runs, unless a test
// chose another (`use_classifier`).
Classifier active_classifier();
ClassifyBlocks active_classify_function();

// For tests and fuzzing: walks started afterwards use `classifier`, when it
// runs here; returns whether it does.
bool use_classifier(Classifier classifier);

}  // namespace quorbix::xml
