// What a scan reports for one match, and the engine's only error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorbix::engine {

struct EngineMatch {
    enum class Kind : std::uint8_t {
        OwnedElement,  // `bytes` holds a copy of the element
        ElementRange,  // [start, end) of the scanned bytes; range mode only
        ScalarText,    // `bytes` holds a text: attribute value, #text, count, modifier result
    };
    Kind kind = Kind::ScalarText;
    // ElementRange of a leaf, an element with nothing but text between its
    // tags: where that text lies, from `start`, so that reading the text
    // needs no reader; `no_leaf_text` when the element is not such a leaf (or
    // its start tag is longer than an offset of 16 bits says). Both fit
    // beside `kind`, so that a match stays seven words.
    std::uint16_t leaf_text_offset = 0;
    std::uint32_t leaf_text_length = no_leaf_text;
    std::string bytes;
    // 64-bit offsets, so that documents of 4 GiB and more are answered in
    // range mode too. An owned element found by a scan that keeps namespace
    // declarations has its `start` too, where match_scopes.hpp finds them.
    std::uint64_t start = 0, end = 0;
    static constexpr std::uint32_t no_leaf_text = ~std::uint32_t{0};

    static EngineMatch owned(std::string_view element) {
        EngineMatch m;
        m.kind = Kind::OwnedElement;
        m.bytes = element;
        return m;
    }
    static EngineMatch range(std::uint64_t start, std::uint64_t end) {
        EngineMatch m;
        m.kind = Kind::ElementRange;
        m.start = start;
        m.end = end;
        return m;
    }
    // A leaf's range, with its text at [text_begin, text_end) of the bytes.
    static EngineMatch leaf(std::uint64_t start, std::uint64_t end, std::uint64_t text_begin,
                            std::uint64_t text_end) {
        EngineMatch m = range(start, end);
        if (text_begin - start <= 0xFFFF && text_end - text_begin < no_leaf_text) {
            m.leaf_text_offset = static_cast<std::uint16_t>(text_begin - start);
            m.leaf_text_length = static_cast<std::uint32_t>(text_end - text_begin);
        }
        return m;
    }
    static EngineMatch scalar(std::string text) {
        EngineMatch m;
        m.bytes = std::move(text);
        return m;
    }
    bool has_leaf_text() const { return leaf_text_length != no_leaf_text; }
};

// A component without a selector, not the last, matched two elements at one
// level: the path cannot say which one it continues from.
struct AmbiguousPath {
    std::string name;
};

// A result of millions of matches is millions of these.
static_assert(sizeof(EngineMatch) <= 56);

using Matches = std::vector<EngineMatch>;
using EvalOutcome = std::variant<Matches, AmbiguousPath>;

}  // namespace quorbix::engine
