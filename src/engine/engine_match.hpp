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
    std::string bytes;
    // 64-bit offsets, so that documents of 4 GiB and more are answered in
    // range mode too.
    std::uint64_t start = 0, end = 0;

    static EngineMatch owned(std::string_view element) {
        return {Kind::OwnedElement, std::string(element), 0, 0};
    }
    static EngineMatch range(std::uint64_t start, std::uint64_t end) {
        return {Kind::ElementRange, {}, start, end};
    }
    static EngineMatch scalar(std::string text) {
        return {Kind::ScalarText, std::move(text), 0, 0};
    }
};

// A component without a selector, not the last, matched two elements at one
// level: the path cannot say which one it continues from.
struct AmbiguousPath {
    std::string name;
};

using Matches = std::vector<EngineMatch>;
using EvalOutcome = std::variant<Matches, AmbiguousPath>;

}  // namespace quorbix::engine
